#include "synth/band_spec.h"

#include <cmath>
#include <cstdlib>

#include "formats/frequency_text.h"

namespace nimbra::synth {

namespace {

// "A/B" into two finite numbers.
bool pairOf(const std::string& text, double& a, double& b)
{
    const auto cut = text.find('/');
    if (cut == std::string::npos)
        return false;
    char* end = nullptr;
    const std::string first = text.substr(0, cut), second = text.substr(cut + 1);
    a = std::strtod(first.c_str(), &end);
    if (first.empty() || *end != '\0')
        return false;
    b = std::strtod(second.c_str(), &end);
    return !second.empty() && *end == '\0' && std::isfinite(a) && std::isfinite(b);
}

}  // namespace

bool parseSondeSpec(const std::string& spec, BandSonde& s, std::string& error)
{
    std::size_t start = 0;
    while (start <= spec.size()) {
        const std::size_t comma = std::min(spec.find(',', start), spec.size());
        const std::string item = spec.substr(start, comma - start);
        start = comma + 1;
        const auto eq = item.find('=');
        if (eq == std::string::npos) {
            error = "expected key=value, got '" + item + "'";
            return false;
        }
        const std::string key = item.substr(0, eq), text = item.substr(eq + 1);
        auto number = [&](double lo, double hi, double& out) {
            char* end = nullptr;
            const double v = std::strtod(text.c_str(), &end);
            if (text.empty() || *end != '\0' || !(v >= lo) || !(v <= hi)) {
                error = key + ": expected a number from " + std::to_string(lo) + " to " + std::to_string(hi) +
                        ", got '" + text + "'";
                return false;
            }
            out = v;
            return true;
        };
        auto pair = [&](double& a, double& b) {
            if (!pairOf(text, a, b) || a < 0.0 || b < 0.0) {
                error = key + ": expected DB/SECONDS, got '" + text + "'";
                return false;
            }
            return true;
        };
        bool ok = true;
        if (key == "id") {
            char* end = nullptr;
            const long v = std::strtol(text.c_str(), &end, 16);
            ok = !text.empty() && *end == '\0' && v >= 0 && v <= 0xFFFF;
            if (!ok)
                error = "id: expected four hexadecimal digits, got '" + text + "'";
            s.flight.transmitterId = static_cast<std::uint16_t>(v);
        } else if (key == "offset" || key == "deviation") {
            const auto hz = formats::parseFrequencyHz(text);
            ok = hz && (key == "offset" ? std::fabs(*hz) < 5e6 : (*hz >= 100.0 && *hz <= 150000.0));
            if (!ok)
                error = key + ": expected a frequency in Hz (k and M allowed), got '" + text + "'";
            else
                (key == "offset" ? s.offsetHz : s.deviationHz) = *hz;
        } else if (key == "level") {
            ok = number(-60.0, 60.0, s.levelDb);
        } else if (key == "drift") {
            ok = number(-100000.0, 100000.0, s.driftHzPerS);
        } else if (key == "on") {
            ok = number(0.0, 1e6, s.onS);
        } else if (key == "off") {
            ok = number(0.0, 1e6, s.offS);
        } else if (key == "fade") {
            ok = pair(s.fadeDepthDb, s.fadePeriodS);
        } else if (key == "rise") {
            ok = pair(s.riseDb, s.riseS);
        } else if (key == "counter") {
            double v = 0.0;
            ok = number(0.0, 65535.0, v);
            s.flight.firstCounter = static_cast<std::uint16_t>(v);
        } else {
            error = "unknown key '" + key + "'";
            ok = false;
        }
        if (!ok)
            return false;
    }
    if (s.offS <= s.onS) {
        error = "off must come after on";
        return false;
    }
    return true;
}

}  // namespace nimbra::synth
