#include "cli/output_options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "outputs/addresses.h"
#include "outputs/sonde_identity.h"

namespace nimbra::cli {

namespace {

bool seconds(const std::string& text, double lo, double hi, double& value)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtod(text.c_str(), &end);
    return end && *end == '\0' && errno == 0 && std::isfinite(value) && value >= lo && value <= hi;
}

}  // namespace

OptionOutcome parseOutputOption(const std::string& name, const std::function<bool(std::string&)>& takeValue,
                                OutputOptions& options, std::string& error)
{
    static const char* const kNames[] = {"--udp", "--sondehub", "--sondehub-url", "--sondehub-spool",
                                         "--sondehub-interval", "--sondehub-spool-size", "--mqtt",
                                         "--station-name", "--live-kml", "--upload-wait", "--sonde-manufacturer",
                                         "--sonde-type", "--sonde-serial"};
    bool known = false;
    for (const char* n : kNames)
        known = known || name == n;
    if (!known)
        return OptionOutcome::NotAnOutputOption;
    outputs::OutputConfig& c = options.config;
    std::string value;
    auto fail = [&](const std::string& message) {
        error = name + ": " + message;
        return OptionOutcome::Failed;
    };
    if (!takeValue(value))
        return fail("needs a value (see --help)");
    std::string why;
    double number = 0.0;

    if (name == "--udp") {
        outputs::HostPort target;
        if (!outputs::parseHostPort(value, target, why))
            return fail(why);
        c.udp = target;
    } else if (name == "--mqtt") {
        outputs::MqttAddress address;
        if (!outputs::parseMqttUrl(value, address, why))
            return fail(why);
        c.mqtt = address;
    } else if (name == "--sondehub") {
        if (!outputs::checkIdentityText(value, false, why))
            return fail("expected your callsign; " + why);
        c.sondehubCallsign = value;
    } else if (name == "--sondehub-url") {
        if (!outputs::checkHttpUrl(value, why))
            return fail(why);
        c.sondehubUrl = value;
        options.sondehubDetail = name;
    } else if (name == "--sondehub-spool") {
        if (value.empty())
            return fail("expected a folder");
        c.spoolFolder = value;
        options.sondehubDetail = name;
    } else if (name == "--sondehub-interval") {
        if (!seconds(value, 0.05, 3600.0, number))
            return fail("expected seconds from 0.05 to 3600, got '" + value + "'");
        c.sondehubIntervalS = number;
        options.sondehubDetail = name;
    } else if (name == "--sondehub-spool-size") {
        if (!seconds(value, 1.0, 1e6, number))
            return fail("expected megabytes from 1 to 1000000, got '" + value + "'");
        c.spoolMaxBytes = static_cast<std::uint64_t>(number * 1024.0 * 1024.0);
        options.sondehubDetail = name;
    } else if (name == "--station-name") {
        if (!outputs::checkTopicLevel(value, why))
            return fail(why);
        c.stationName = value;
    } else if (name == "--live-kml") {
        if (value.empty())
            return fail("expected a file name");
        c.liveKmlPath = value;
    } else if (name == "--upload-wait") {
        if (!seconds(value, 0.0, 86400.0, number))
            return fail("expected seconds from 0 to 86400, got '" + value + "'");
        options.uploadWaitS = number;
    } else if (name == "--sonde-manufacturer" || name == "--sonde-type") {
        if (!outputs::checkIdentityText(value, false, why))
            return fail(why);
        (name == "--sonde-type" ? c.identity.type : c.identity.manufacturer) = value;
    } else if (name == "--sonde-serial") {
        if (!outputs::checkIdentityText(value, true, why))
            return fail(why);
        c.identity.serialTemplate = value;
    }
    return OptionOutcome::Taken;
}

bool checkOutputOptions(const OutputOptions& options, std::string& error)
{
    if (!options.sondehubDetail.empty() && options.config.sondehubCallsign.empty()) {
        error = options.sondehubDetail + " belongs to the SondeHub upload: add --sondehub CALLSIGN";
        return false;
    }
    return true;
}

}  // namespace nimbra::cli
