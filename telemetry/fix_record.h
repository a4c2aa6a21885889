// FixRecord: one accepted fix, as its decoded-text line was made: the event the decoder hands
// to its fix listener on the decoding thread, and what writers of fix files and outputs read.
#pragma once

#include <cstdint>
#include <limits>

#include "block/block_format.h"

namespace nimbra {

struct FixRecord {
    std::int64_t timeMs = 0;  // time stamp of the line, ms since 1970-01-01 UTC
    unsigned transmitterId = 0;
    unsigned timeCounter = 0;   // seconds, as the sonde counts them
    float latitude = 0.0f;      // degrees, signed
    float longitude = 0.0f;     // degrees, signed
    float altitude = 0.0f;      // metres
    float azimuth = 0.0f;       // degrees
    float elevation = 0.0f;     // degrees
    float range = 0.0f;         // km
    float ascent = 0.0f;        // m/s, after this fix's motion update
    float velocity = 0.0f;      // m/s
    float direction = 0.0f;     // degrees
    bool crcGood = true;        // false only while bad-checksum blocks are shown
    int bitsRepaired = 0;       // bits a demodulator flipped to make the checksum good
    bool hasPtu = false;        // ptuChannels hold the latest decoded PTU block
    float ptuChannels[block::kPtuChannels] = {};
    const char* line = nullptr;  // the decoded-text line without its carriage return
    // Samples the decoder had taken when the fix's block finished (the sample that completed
    // it included): the recording's own clock, 48,000 to the second, whatever the wall clock
    // and however fast the input is decoded.
    std::int64_t sampleIndex = 0;
    // Eb/N0 of the fix's block in dB (PacketEvent::ebN0Db); NaN when not measured.
    float ebN0Db = std::numeric_limits<float>::quiet_NaN();
};

}  // namespace nimbra
