#include "cli/sdr_options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "formats/frequency_text.h"

namespace nimbra::cli {

SdrOptionOutcome parseSdrOption(const std::string& name, const std::function<bool(std::string&)>& takeValue,
                                SdrOptions& o, std::string& error)
{
    std::string value;
    auto need = [&](const char* what) {
        if (takeValue(value))
            return true;
        error = name + " needs a value: " + what;
        return false;
    };
    if (name == "--sdr") {
        if (!need("rtl_tcp://HOST[:PORT] or a SoapySDR device string such as driver=rtlsdr"))
            return SdrOptionOutcome::Failed;
        sdr::DeviceAddress address;
        if (!sdr::parseDeviceAddress(value, address, error))
            return SdrOptionOutcome::Failed;
        o.device = address;
        o.deviceText = value;
    } else if (name == "--gain") {
        if (!need("DB or auto"))
            return SdrOptionOutcome::Failed;
        if (value == "auto") {
            o.gainDb.reset();
        } else {
            char* end = nullptr;
            errno = 0;
            const double db = std::strtod(value.c_str(), &end);
            if (value.empty() || *end != '\0' || errno != 0 || !(db >= -20.0) || !(db <= 80.0)) {
                error = "--gain: expected auto or a gain from -20 to 80 dB, got '" + value + "'";
                return SdrOptionOutcome::Failed;
            }
            o.gainDb = db;
        }
    } else if (name == "--ppm") {
        if (!need("the frequency correction in ppm"))
            return SdrOptionOutcome::Failed;
        char* end = nullptr;
        errno = 0;
        const long ppm = std::strtol(value.c_str(), &end, 10);
        if (value.empty() || *end != '\0' || errno != 0 || ppm < -1000 || ppm > 1000) {
            error = "--ppm: expected a whole number of ppm from -1000 to 1000, got '" + value + "'";
            return SdrOptionOutcome::Failed;
        }
        o.ppm = static_cast<int>(ppm);
    } else if (name == "--bias-tee") {
        o.biasTee = true;
    } else if (name == "--band") {
        if (!need("LOW:HIGH, for example 1676M:1682M"))
            return SdrOptionOutcome::Failed;
        const auto colon = value.find(':');
        const auto low = colon == std::string::npos ? std::nullopt : formats::parseFrequencyHz(value.substr(0, colon));
        const auto high = colon == std::string::npos ? std::nullopt : formats::parseFrequencyHz(value.substr(colon + 1));
        if (!low || !high || *low < 1e6 || *high <= *low || *high - *low > 100e6) {
            error = "--band: expected LOW:HIGH in Hz, LOW below HIGH (1676M:1682M), got '" + value + "'";
            return SdrOptionOutcome::Failed;
        }
        o.bandLowHz = *low;
        o.bandHighHz = *high;
        o.bandGiven = true;
    } else {
        return SdrOptionOutcome::NotAnSdrOption;
    }
    return SdrOptionOutcome::Taken;
}

}  // namespace nimbra::cli
