// Telemetry blocks as the radiosonde sends them: GPS blocks ('$', 'R', 'T', '1') and PTU blocks
// ('$', 'R', 'M'), each ending in its CRC-16/XMODEM checksum, high byte first.
//
// In:  the field values of one block (raw, as transmitted: positions in 2^31/180 units of a
//      degree, altitude in millimetres, PTU channels as selector byte plus 16-bit count).
// Out: the block's bytes from the '$' through the two checksum bytes. The sync characters that
//      precede a block on air are added by the flight scenario, not here.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace nimbra::synth {

// CRC-16/XMODEM: polynomial 0x1021, initial value 0, no reflection, no final exclusive-or.
std::uint16_t xmodemCrc(const std::uint8_t* data, std::size_t size);

inline constexpr std::uint8_t kSyncByte = 0xCA;

struct GpsBlockFields {
    std::uint16_t transmitterId = 0;
    std::uint16_t timeCounter = 0;      // seconds
    std::int32_t latitudeRaw = 0;       // degrees x 2^31 / 180
    std::int32_t longitudeRaw = 0;      // degrees x 2^31 / 180
    std::int32_t altitudeMm = 0;        // millimetres
    std::uint32_t gpsTimeMs = 0;        // first uninterpreted field (offset 10)
    std::uint32_t gpsWeek = 0;          // second uninterpreted field (offset 14)
    int numSatellites = 8;              // 0..255; 13 bytes of record each
    char variant = '1';                 // '1' or '2'
};

// blockLength of a GPS block with this many satellites: bytes from offset 10 to the checksum.
inline int gpsBlockLength(int numSatellites) { return 32 + 13 * numSatellites; }

std::vector<std::uint8_t> buildGpsBlock(const GpsBlockFields& fields);

struct PtuChannel {
    std::uint8_t selector = 0x02;  // bits 1-4 pick the channel's range
    std::uint16_t count = 0;       // big-endian 16-bit value
};

struct PtuBlockFields {
    std::uint16_t frameCounter = 0;  // header bytes at offsets 4-5
    std::array<PtuChannel, 13> channels{};
    std::array<std::uint8_t, 16> calibration{};
    // Length byte L: bytes from offset 10 up to the checksum. At least 56, so that all thirteen
    // channels and the sixteen calibration bytes fit.
    std::uint8_t length = 60;
};

std::vector<std::uint8_t> buildPtuBlock(const PtuBlockFields& fields);

// Spoils a finished block's checksum (flips the lowest bit of its last byte), so that the block
// is framed as usual but counted as bad.
void corruptChecksum(std::vector<std::uint8_t>& block);

}  // namespace nimbra::synth
