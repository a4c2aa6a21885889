// Option values of nimbra-synth: numbers checked against their range. A bad value ends the
// program with status 2 and one line naming the option, as every other bad option does.
#pragma once

#include <string>

namespace nimbra::synth {

[[noreturn]] void fail(const std::string& message);
double parseNumber(const std::string& option, const char* text, double lo, double hi);
long parseInteger(const std::string& option, const char* text, long lo, long hi, int base = 10);

// "LAT,LON,ALT": latitude within +-89 degrees, longitude within +-180, altitude in metres within
// [altLo, altHi].
struct Position {
    double latitude;
    double longitude;
    double altitude;
};
Position parsePosition(const std::string& option, const char* text, double altLo, double altHi);

}  // namespace nimbra::synth
