// Telemetry blocks as the radiosonde sends them: GPS blocks ('$', 'R', 'T', '1') and PTU blocks
// ('$', 'R', 'M'), each ending in its CRC-16/XMODEM checksum, high byte first. The one builder of
// blocks: the flights, the tests, the benchmarks and the fuzz seeds all take their blocks here.
// The layout itself is block/block_format.h, the checksum block/crc16.h.
//
// In:  the field values of one block (raw, as transmitted: positions in 2^31/180 units of a
//      degree, altitude in millimetres, PTU channels as selector byte plus 16-bit count), or any
//      payload; deliberate faults (a length field that lies, a spoilt checksum).
// Out: the block's bytes from the '$' through the two checksum bytes. The sync characters that
//      precede a block on air are added by whoever sends it (sendBlock()).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "block/block_format.h"

namespace nimbra::synth {

class SerialLine;

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
    int lengthField = -1;               // what offsets 8-9 claim; -1: the true length
};

// blockLength of a GPS block with this many satellites: bytes from offset 10 to the checksum.
inline int gpsBlockLength(int numSatellites)
{
    return nimbra::block::kGpsFixedLength + nimbra::block::kSatelliteRecordBytes * numSatellites;
}

// The bytes of a GPS block from offset 10 up to the checksum: the 32 bytes of fields, then the
// satellite records (number, signal levels and residues that vary from record to record).
std::vector<std::uint8_t> gpsPayload(const GpsBlockFields& fields);

std::vector<std::uint8_t> buildGpsBlock(const GpsBlockFields& fields);

// A GPS block around any payload: the header of `fields` (its position fields unused), the
// length field (the payload's length unless fields.lengthField says otherwise), the payload,
// the checksum.
std::vector<std::uint8_t> buildGpsBlock(const GpsBlockFields& fields,
                                        const std::vector<std::uint8_t>& payload);

struct PtuChannel {
    std::uint8_t selector = 0x02;  // bits 1-4 pick the channel's range
    std::uint16_t count = 0;       // big-endian 16-bit value
};

struct PtuBlockFields {
    std::uint16_t frameCounter = 0;  // header bytes at offsets 4-5
    std::array<PtuChannel, nimbra::block::kPtuChannels> channels{};
    std::array<std::uint8_t, nimbra::block::kPtuCalibrationBytes> calibration{};
    // Length byte L: bytes from offset 10 up to the checksum. 56 and more hold all thirteen
    // channels and the sixteen calibration bytes; a shorter block is cut off after L bytes.
    std::uint8_t length = 60;
    std::uint8_t lengthHigh = 0;  // offset 8, the high byte of the 16-bit length field
};

std::vector<std::uint8_t> buildPtuBlock(const PtuBlockFields& fields);

// Appends the checksum of everything in `block` so far, high byte first.
void appendChecksum(std::vector<std::uint8_t>& block);

// Spoils a finished block's checksum (flips the lowest bit of its last byte), so that the block
// is framed as usual but counted as bad.
void corruptChecksum(std::vector<std::uint8_t>& block);

// Sends a block as the radiosonde does: the two sync characters, then the block's characters.
void sendBlock(SerialLine& line, const std::vector<std::uint8_t>& block);

}  // namespace nimbra::synth
