#include "option_values.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace nimbra::synth {

[[noreturn]] void fail(const std::string& message)
{
    std::fprintf(stderr, "nimbra-synth: %s\n", message.c_str());
    std::exit(2);
}

double parseNumber(const std::string& option, const char* text, double lo, double hi)
{
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(text, &end);
    if (end == text || *end != '\0' || errno != 0 || !std::isfinite(v) || v < lo || v > hi)
        fail(option + ": expected a number from " + std::to_string(lo) + " to " +
             std::to_string(hi) + ", got '" + text + "'");
    return v;
}

long parseInteger(const std::string& option, const char* text, long lo, long hi, int base)
{
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, base);
    if (end == text || *end != '\0' || errno != 0 || v < lo || v > hi)
        fail(option + ": expected a whole number from " + std::to_string(lo) + " to " +
             std::to_string(hi) + ", got '" + text + "'");
    return v;
}

Position parsePosition(const std::string& option, const char* text, double altLo, double altHi)
{
    Position p{};
    char extra;
    if (std::sscanf(text, "%lf,%lf,%lf%c", &p.latitude, &p.longitude, &p.altitude, &extra) != 3 ||
        !(p.latitude >= -89.0) || !(p.latitude <= 89.0) || !(p.longitude >= -180.0) || !(p.longitude <= 180.0) ||
        !(p.altitude >= altLo) || !(p.altitude <= altHi))
        fail(option + ": expected LAT,LON,ALT in degrees and metres, got '" + text + "'");
    return p;
}

}  // namespace nimbra::synth
