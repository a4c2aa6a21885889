// TelemetryState: what the decoder shows: the latest GPS fields, the last accepted fix, the PTU
// results and the block counters. Zero at start and never cleared as a whole: values carry on
// from block to block, from one recording to the next and between file and live decoding.
//
// Fields read by the GUI thread while the decoding thread writes them are Relaxed atomics, so a
// label never shows a torn value (values of two consecutive blocks side by side are accepted).
// Everything else belongs to the decoding thread alone.
#pragma once

#include <cstdint>

#include "demod/relaxed.h"
#include "block/block_format.h"

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
    static constexpr int kPtuChannels = block::kPtuChannels;
    static constexpr int kTextSize = 1024;

    // 1. GPS fields of the most recent GPS block that got that far: each is written the moment
    //    its last byte arrives, before the block's checksum is known (gps_block.h).
    Relaxed<std::uint16_t> transmitterId{0};
    Relaxed<std::uint16_t> timeCounter{0};  // seconds
    Relaxed<std::uint16_t> blockLength{0};  // bytes from offset 10 up to the checksum
    Relaxed<float> latitude{0.0f};          // degrees, north positive
    Relaxed<float> longitude{0.0f};         // degrees, east positive
    Relaxed<float> altitude{0.0f};          // metres

    // 2. The last accepted fix (fix_stage.h).
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

    // 3. PTU values of the most recent decoded PTU block (ptu_block.h; decoding thread only).
    float ptuChannels[kPtuChannels] = {};
    bool ptuDecoded = false;  // true once any PTU block has been decoded
    char psuText[kTextSize] = {};
    char calibrationText[kTextSize] = {};

    // 4. Counters: each finished block adds one to exactly one of them.
    Relaxed<int> goodPackets{0};
    Relaxed<int> badPackets{0};
};

}  // namespace nimbra
