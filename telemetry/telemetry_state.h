// TelemetryState: the packet framer's state, the latest GPS fields, the last accepted fix, the
// PTU results and the block counters. Zero at start and never cleared as a whole.
//
// Fields read by the GUI thread while the decoding thread writes them are Relaxed atomics, so a
// label never shows a torn value (values of two consecutive packets side by side are accepted).
// Everything else belongs to the decoding thread alone.
#pragma once

#include <cstdint>

#include "demod/relaxed.h"

namespace nimbra {

// Latitude, longitude, altitude and time counter of the last accepted fix: the reference of the
// next motion step. Decoding thread only.
struct PreviousFix {
    float latitude = 0.0f;   // degrees
    float longitude = 0.0f;  // degrees
    float altitude = 0.0f;   // metres
    int timeCounter = 0;     // seconds
};

struct TelemetryState {
    static constexpr int kPtuBytes = 100;
    static constexpr int kPtuChannels = 13;
    static constexpr int kTextSize = 1024;

    // 1. Framer state (decoding thread only).
    int framerState = 0;
    int blockKind = 0;        // 0 none, 1 GPS, 2 PTU
    int packetByteCount = 0;  // bytes of the current packet, the '$' counts as 1
    std::uint16_t crcRegister = 0;
    int ptuBytes[kPtuBytes] = {};  // bytes after the 'M' of a PTU block
    int ptuByteCount = 0;
    int ptuExpectedLength = 0;
    std::uint32_t rawField = 0;  // 32-bit field being assembled, big-endian

    // 2. GPS fields of the most recent GPS block that got that far.
    Relaxed<std::uint16_t> transmitterId{0};
    Relaxed<std::uint16_t> timeCounter{0};  // seconds
    Relaxed<std::uint16_t> blockLength{0};  // bytes from offset 10 up to the checksum
    Relaxed<float> latitude{0.0f};          // degrees, north positive
    Relaxed<float> longitude{0.0f};         // degrees, east positive
    Relaxed<float> altitude{0.0f};          // metres

    // 3. The last accepted fix.
    Relaxed<float> latitudeAbs{0.0f};
    Relaxed<char> latitudeHemisphere{'\0'};  // 'N' or 'S'; '\0' before the first fix
    Relaxed<float> longitudeAbs{0.0f};
    Relaxed<char> longitudeHemisphere{'\0'};  // 'E' or 'W'
    Relaxed<float> azimuth{0.0f};    // degrees, 0 north, 90 east
    Relaxed<float> elevation{0.0f};  // degrees above the station's horizon
    Relaxed<float> range{0.0f};      // km, truncated to whole metres
    Relaxed<float> ascent{0.0f};     // m/s, smoothed
    Relaxed<float> velocity{0.0f};   // m/s, smoothed
    Relaxed<float> direction{0.0f};  // degrees, smoothed on the circle
    PreviousFix previousFix;

    // 4. PTU values of the most recent decoded PTU block (decoding thread only).
    float ptuChannels[kPtuChannels] = {};
    bool ptuDecoded = false;  // true once any PTU block has been decoded
    char psuText[kTextSize] = {};
    char calibrationText[kTextSize] = {};

    // 5. Counters: each finished block adds one to exactly one of them.
    Relaxed<int> goodPackets{0};
    Relaxed<int> badPackets{0};
};

}  // namespace nimbra
