// The decoded-text line of an accepted fix:
//   "dd MMM yyyy hh:mm:ss IIII counter lat.xxxxxN lon.xxxxxW alt[ psuText][ calibrationText]"
// that is the time stamp (UTC), the identifier as four upper-case hex digits, the time counter,
// latitude and longitude with five decimals and their hemisphere letters, the altitude in whole
// metres, and the PTU texts while asked for (each already ends in a space). The carriage return
// that ends a line in the text accumulators and record files is not part of it.
//
// Formatting ignores the process locale: '.' is the decimal point whatever the user's language.
#pragma once

#include <cstdint>

namespace nimbra {

struct DecodedLineFields {
    std::int64_t timeMs = 0;  // ms since 1970-01-01 UTC
    unsigned transmitterId = 0;
    int timeCounter = 0;
    float latitudeAbs = 0.0f;
    char latitudeHemisphere = 'N';
    float longitudeAbs = 0.0f;
    char longitudeHemisphere = 'E';
    float altitude = 0.0f;
    const char* psuText = nullptr;          // appended after a space unless null
    const char* calibrationText = nullptr;  // appended after a space unless null
};

// Ample for the first part (under 80 characters) and both PTU texts at their largest.
constexpr int kDecodedLineSize = 4096;

// Writes the NUL-terminated line into `out`, cutting the PTU texts if they would not fit.
// Returns its length.
int formatDecodedLine(const DecodedLineFields& fields, char (&out)[kDecodedLineSize]);

}  // namespace nimbra
