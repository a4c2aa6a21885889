// PTU block decoding: the thirteen 3-byte sensor channels and the sixteen calibration bytes of a
// PTU block, as raw counts (no physical units) and as the two texts that decoded lines carry.
//
// In:  a finished PTU block's bytes, from its '$'.
// Out: ptuChannels, psuText ("%7.1f " per channel), calibrationText ("%02X " per byte) of
//      TelemetryState, replaced as a whole. A block too short to hold the channels and the
//      calibration bytes leaves the previous values.
#pragma once

#include <cstdint>

#include "telemetry/telemetry_state.h"

namespace nimbra {

// Indexed by bits 1..4 of a channel's selector byte; stored as 32-bit floats exactly as written.
extern const float ptuRangeTable[16];

// One channel: ptuRangeTable[(selector / 2) & 15] - (high * 256 + low).
float decodePtuChannel(int selector, int high, int low);

// Returns false (and changes nothing) when the block is shorter than block::kPtuDecodedBytes.
bool decodePtuBlock(const std::uint8_t* block, int length, TelemetryState& telemetry);

}  // namespace nimbra
