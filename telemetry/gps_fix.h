// GPS fix values: conversion of the raw big-endian position fields of a GPS block, the
// plausibility test applied to a fix before it is shown, and the hemisphere split for display.
//
// In:  raw signed 32-bit fields (latitude and longitude in 2^-31 half-turns, altitude in mm);
//      a fix's stored float values and the range from the station.
// Out: degrees and metres as 32-bit floats; accept or reject; absolute value and letter.
#pragma once

#include <cstdint>

namespace nimbra {

// Raw angle × 180 × 2^-31 in double precision, stored as float (2^30 is 90 degrees).
float gpsAngleFromRaw(std::uint32_t raw);
// Raw millimetres / 1000 in double precision, stored as float. Negative values are kept.
float gpsAltitudeFromRaw(std::uint32_t raw);

// False when the fix cannot be real: altitude outside 0..50000 m, latitude outside -90..90,
// longitude outside -180..180, or the fix farther than maxRangeKm from the station. The limits
// themselves pass. Applied to the stored 32-bit floats.
bool isPlausibleFix(float latitude, float longitude, float altitude, float rangeKm,
                    float maxRangeKm);

// Satellite records in a GPS block of this blockLength (bytes from offset 10 up to the
// checksum: 32 bytes of fields, then 13 per satellite); -1 for a length no block can have.
int satellitesInGpsBlock(unsigned blockLength);

// Absolute value and hemisphere letter: `negative` for values below 0, `positive` otherwise
// (0 counts as north or east).
struct Hemisphere {
    float absolute;
    char letter;
};
Hemisphere splitHemisphere(float value, char positive, char negative);

}  // namespace nimbra
