// Builders of telemetry blocks for the telemetry tests: GPS and PTU blocks laid out byte by byte
// as the radiosonde sends them, with their CRC-16 appended, and a helper to feed bytes to a
// decoder's packet framer.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "demod/decoder.h"
#include "telemetry/crc16.h"

namespace nimbra::testing {

using Bytes = std::vector<std::uint8_t>;

inline void putU16(Bytes& b, unsigned v)
{
    b.push_back(static_cast<std::uint8_t>(v >> 8));
    b.push_back(static_cast<std::uint8_t>(v));
}

inline void putU32(Bytes& b, std::uint32_t v)
{
    putU16(b, v >> 16);
    putU16(b, v & 0xFFFFu);
}

inline void appendCrc(Bytes& b) { putU16(b, crc16Xmodem(b.data(), b.size())); }

// Raw angle field for a position in degrees (2^31 is 180 degrees).
inline std::uint32_t rawAngle(double degrees)
{
    return static_cast<std::uint32_t>(
        static_cast<std::int32_t>(std::llround(degrees * 2147483648.0 / 180.0)));
}

inline std::uint32_t rawMillimetres(std::int64_t mm)
{
    return static_cast<std::uint32_t>(static_cast<std::int32_t>(mm));
}

struct GpsFields {
    char variant = '1';
    unsigned id = 0x1A2B;
    unsigned counter = 1234;
    std::uint32_t latitude = rawAngle(39.75);
    std::uint32_t longitude = rawAngle(-76.98);
    std::uint32_t altitude = rawMillimetres(220000);
    int satellites = 0;
    int blockLength = -1;  // -1: the true length, 32 + 13 × satellites
};

// The bytes of a GPS block up to (not including) the checksum.
inline Bytes gpsBody(const GpsFields& s)
{
    Bytes b = {'$', 'R', 'T', static_cast<std::uint8_t>(s.variant)};
    putU16(b, s.id);
    putU16(b, s.counter);
    putU16(b, static_cast<unsigned>(s.blockLength >= 0 ? s.blockLength : 32 + 13 * s.satellites));
    putU32(b, 0x01020304u);
    putU32(b, 0x05060708u);
    putU32(b, s.latitude);
    putU32(b, s.longitude);
    putU32(b, s.altitude);
    putU32(b, 0x11121314u);
    putU32(b, 0x15161718u);
    putU32(b, 0x191A1B00u | static_cast<unsigned>(s.satellites));
    for (int i = 0; i < 13 * s.satellites; ++i)
        b.push_back(static_cast<std::uint8_t>(0x40 + i));
    return b;
}

inline Bytes gpsBlock(const GpsFields& s = {})
{
    Bytes b = gpsBody(s);
    appendCrc(b);
    return b;
}

struct PtuFields {
    std::uint8_t channels[13][3] = {};
    std::uint8_t calibration[16] = {};
    int length = 60;  // L: bytes from offset 10 up to the checksum
};

// '$' 'R' 'M', six header bytes, L, then L bytes of contents (one spare byte, the channels,
// the calibration bytes, zero padding; cut short if L is small), then the checksum.
inline Bytes ptuBlock(const PtuFields& s)
{
    Bytes b = {'$', 'R', 'M', 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6,
               static_cast<std::uint8_t>(s.length)};
    Bytes contents = {0x77};
    for (const auto& channel : s.channels)
        contents.insert(contents.end(), channel, channel + 3);
    contents.insert(contents.end(), s.calibration, s.calibration + 16);
    contents.resize(static_cast<std::size_t>(s.length), 0);
    b.insert(b.end(), contents.begin(), contents.end());
    appendCrc(b);
    return b;
}

inline void feed(Decoder& d, const Bytes& bytes)
{
    for (std::uint8_t byte : bytes)
        d.ProcessPacketByte(byte);
}

// 06 Dec 2026 06:17:45 UTC.
constexpr std::int64_t kFixedTimeMs = 1796537865000LL;

}  // namespace nimbra::testing
