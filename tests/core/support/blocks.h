// Blocks for the tests, made by the synthesizer's builder (the one block builder), and a feed of
// bytes into a decoder's packet framer.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "decoder/decoder.h"
#include "block/block_format.h"
#include "synth/telemetry_blocks.h"

namespace nimbra::testing {

using Bytes = std::vector<std::uint8_t>;
using synth::GpsBlockFields;
using synth::PtuBlockFields;

// Raw angle field for a position in degrees (2^31 is 180 degrees).
inline std::int32_t rawAngle(double degrees)
{
    return static_cast<std::int32_t>(std::llround(degrees * 2147483648.0 / 180.0));
}

// The fix most tests decode: 1A2B, counter 1234, 39.75 N 76.98 W, 220 m, no satellites.
inline GpsBlockFields stationFix()
{
    GpsBlockFields f;
    f.transmitterId = 0x1A2B;
    f.timeCounter = 1234;
    f.latitudeRaw = rawAngle(39.75);
    f.longitudeRaw = rawAngle(-76.98);
    f.altitudeMm = 220000;
    f.numSatellites = 0;
    return f;
}

inline Bytes gpsBlock(const GpsBlockFields& fields = stationFix())
{
    return synth::buildGpsBlock(fields);
}

// A GPS block (identifier 0x1234, counter 0x0102) around `payload` pseudo-random bytes from
// `seed`, whose length field claims `lengthField` bytes (-1: the truth).
inline Bytes randomGpsBlock(int payload, unsigned seed = 1, int lengthField = -1)
{
    GpsBlockFields header;
    header.transmitterId = 0x1234;
    header.timeCounter = 0x0102;
    header.lengthField = lengthField;
    Bytes bytes;
    unsigned x = seed * 2654435761u + 12345u;
    for (int i = 0; i < payload; ++i) {
        x = x * 1103515245u + 12345u;
        bytes.push_back(static_cast<std::uint8_t>((x >> 16) & 0xFF));
    }
    return synth::buildGpsBlock(header, bytes);
}

inline Bytes ptuBlock(const PtuBlockFields& fields = {}) { return synth::buildPtuBlock(fields); }

// The characters the radio sends for a block: the sync characters, then the block.
inline Bytes withSync(const Bytes& block)
{
    Bytes chars(block::kSyncCharacters, block::kSyncCharacter);
    chars.insert(chars.end(), block.begin(), block.end());
    return chars;
}

inline void feed(Decoder& d, const Bytes& bytes)
{
    for (std::uint8_t byte : bytes)
        d.ProcessPacketByte(byte);
}

// 06 Dec 2026 06:17:45 UTC.
constexpr std::int64_t kFixedTimeMs = 1796537865000LL;

}  // namespace nimbra::testing
