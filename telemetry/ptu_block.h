// PTU block decoding: the thirteen 3-byte sensor channels and the sixteen calibration bytes of a
// PTU block, as raw counts (no physical units) and as the two texts that decoded lines carry.
//
// In:  TelemetryState::ptuBytes, entry i holding the byte at offset 3 + i of the block.
// Out: ptuChannels, psuText ("%7.1f " per channel), calibrationText ("%02X " per byte).
#pragma once

#include <cstdint>

namespace nimbra {

// Indexed by bits 1..4 of a channel's selector byte; stored as 32-bit floats exactly as written.
extern const float ptuRangeTable[16];

// Entries of ptuBytes a block must fill to hold the channels (8..46) and calibration (47..62).
constexpr int kPtuDecodedEntries = 63;
constexpr int kPtuFirstChannelEntry = 8;
constexpr int kPtuFirstCalibrationEntry = 47;
constexpr int kPtuCalibrationBytes = 16;

// One channel: ptuRangeTable[(selector / 2) & 15] - (high * 256 + low).
float decodePtuChannel(int selector, int high, int low);

}  // namespace nimbra
