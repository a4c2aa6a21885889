// Fixes for the output tests, made by hand so that every expected value can be worked out.
#pragma once

#include <cstdint>
#include <string>

#include "flight/flight_fix.h"

namespace nimbra::outputs::test {

// 2026-12-07T06:17:45.250Z
inline constexpr std::int64_t kFixTimeMs = 1796624265250;

inline FlightFix makeFix(unsigned counter, float lat = 39.751347f, float lon = -76.982674f, float alt = 1234.56f)
{
    FlightFix f;
    f.record.timeMs = kFixTimeMs + (static_cast<std::int64_t>(counter) - 1200) * 1000;
    f.record.transmitterId = 0x1A2B;
    f.record.timeCounter = counter;
    f.record.latitude = lat;
    f.record.longitude = lon;
    f.record.altitude = alt;
    f.record.ascent = 5.04f;
    f.record.velocity = 7.46f;  // 26.856 km/h
    f.record.direction = 359.6f;
    f.satellites = 8;
    f.line = "line " + std::to_string(counter);
    return f;
}

}  // namespace nimbra::outputs::test
