// The telemetry block format: the one description of a block's bytes that the demodulators, the
// packet framer, the GPS and PTU decoding, the synthesizer, the tests and the fuzz targets share.
//
// On air every block follows two sync characters 0xCA 0xCA and is sent as 8N1 serial characters.
// Offsets below count from the block's '$' (offset 0); multi-byte fields are big-endian.
//
//   GPS block ('$' 'R' 'T' '1'|'2'), blockLength + 12 bytes:
//     4 transmitter id (16 bit), 6 time counter (16 bit, s), 8 length field (16 bit): bytes
//     from offset 10 up to the checksum; 10 and 14 uninterpreted 32-bit fields; 18 latitude,
//     22 longitude (signed 32 bit, 2^31 = 180 degrees), 26 altitude (signed 32 bit, mm); 30, 34,
//     38 uninterpreted 32-bit fields, the last byte of the one at 38 (offset 41) the number of
//     satellites; 42 satellite records of 13 bytes each; then the checksum.
//   PTU block ('$' 'R' 'M'), L + 12 bytes:
//     3..8 header bytes, 9 L (the low byte of a 16-bit length field at 8..9; the length of a PTU
//     block is this byte alone), 10 one uninterpreted byte, 11 thirteen 3-byte channels (a
//     selector byte, then a 16-bit count), 50 sixteen calibration bytes, then the rest of the
//     contents and the checksum.
//   Both end in a CRC-16/XMODEM of all bytes before it, from the '$' on, high byte first
//   (block/crc16.h).
#pragma once

#include <cstdint>

namespace nimbra {

enum class BlockKind : std::uint8_t {
    None = 0,  // no block under way
    Gps = 1,
    Ptu = 2,
};

namespace block {

// ---- On air ------------------------------------------------------------------------------
constexpr std::uint8_t kSyncCharacter = 0xCA;
constexpr int kSyncCharacters = 2;  // sent before every block, not part of it

// ---- Header ------------------------------------------------------------------------------
constexpr std::uint8_t kStart = '$';     // offset 0
constexpr std::uint8_t kSecond = 'R';    // offset 1
constexpr std::uint8_t kGpsKind = 'T';   // offset 2 of a GPS block
constexpr std::uint8_t kPtuKind = 'M';   // offset 2 of a PTU block
constexpr std::uint8_t kGpsVariant1 = '1';  // offset 3 of a GPS block; both are handled alike
constexpr std::uint8_t kGpsVariant2 = '2';
constexpr int kKindOffset = 2;
constexpr int kVariantOffset = 3;
constexpr int kLengthOffset = 8;   // 16-bit length field at 8..9
constexpr int kHeaderBytes = 10;   // '$' through the length field
constexpr int kChecksumBytes = 2;
// Bytes of a block besides the L bytes its length field counts.
constexpr int kOverhead = kHeaderBytes + kChecksumBytes;

// ---- Length limits -------------------------------------------------------------------------
// A GPS block carries 32 bytes of fields and 13 per satellite after offset 10; no receiver tracks
// enough satellites to come near kMaxLength. A longer length is a corrupted header.
constexpr int kMaxLength = 300;
// The demodulators that judge a whole block before the framer sees it also reject shorter ones.
constexpr int kMinLength = 20;
constexpr int kMaxBlockBytes = kMaxLength + kOverhead;  // '$' through the checksum

// ---- GPS block -----------------------------------------------------------------------------
constexpr int kTransmitterIdOffset = 4;  // 16 bit
constexpr int kTimeCounterOffset = 6;    // 16 bit, seconds
constexpr int kGpsFieldsOffset = 10;     // the first 32-bit field
constexpr int kLatitudeOffset = 18;      // signed 32 bit, 2^31 = 180 degrees
constexpr int kLongitudeOffset = 22;     // signed 32 bit, 2^31 = 180 degrees
constexpr int kAltitudeOffset = 26;      // signed 32 bit, millimetres
constexpr int kSatelliteCountOffset = 41;
constexpr int kSatellitesOffset = 42;
constexpr int kSatelliteRecordBytes = 13;
constexpr int kGpsFixedLength = kSatellitesOffset - kGpsFieldsOffset;  // 32: L without satellites

// ---- PTU block -----------------------------------------------------------------------------
constexpr int kPtuLengthOffset = 9;     // L, one byte
constexpr int kPtuChannelsOffset = 11;  // channel k at 11 + 3k: selector, then 16-bit count
constexpr int kPtuChannels = 13;
constexpr int kPtuChannelBytes = 3;
constexpr int kPtuCalibrationOffset = kPtuChannelsOffset + kPtuChannels * kPtuChannelBytes;  // 50
constexpr int kPtuCalibrationBytes = 16;
// Bytes a PTU block needs (from its '$') to hold the channels and the calibration bytes.
constexpr int kPtuDecodedBytes = kPtuCalibrationOffset + kPtuCalibrationBytes;  // 66

// ---- Reading ---------------------------------------------------------------------------------
inline constexpr unsigned read16(const std::uint8_t* p) { return (unsigned(p[0]) << 8) | p[1]; }

inline constexpr std::uint32_t read32(const std::uint8_t* p)
{
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8)
           | std::uint32_t(p[3]);
}

// The kind a header's third byte announces (None for anything but 'T' and 'M').
inline constexpr BlockKind kindOf(std::uint8_t kindByte)
{
    return kindByte == kGpsKind ? BlockKind::Gps
                                : (kindByte == kPtuKind ? BlockKind::Ptu : BlockKind::None);
}

// L, the length that decides where a block ends (bytes from offset 10 up to the checksum):
// the 16-bit field of a GPS block, the low byte alone of a PTU block. `header` holds at least
// the first kHeaderBytes bytes of the block.
inline constexpr int lengthOf(BlockKind kind, const std::uint8_t* header)
{
    return kind == BlockKind::Gps ? int(read16(header + kLengthOffset))
                                  : int(header[kPtuLengthOffset]);
}

}  // namespace block
}  // namespace nimbra
