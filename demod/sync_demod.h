// Sync demodulator ("Sync Demod", demodType 3): integrate-and-dump with a bit clock taken from
// the signal, for weak signals.
//
// In:  conditioned samples at 48,000 samples/s, one at a time, either polarity, any bit rate
//      within about +-2,500 ppm of 9,600 bit/s.
// Out: finished blocks (SyncDemodState::block) from the '$' through the checksum: blocks whose
//      checksum is good, possibly after one repaired bit, and blocks that fail it but are plainly
//      a real transmission (so that the framer counts them as bad). Noise produces nothing.
//
// How it works:
//   - Search: a running 5-sample sum gives a hard bit at every sample; five registers (one per
//     sample phase) hold the last bits, and each new bit tests its register against the block's
//     opening (a 1, then 0xCA 0xCA '$' 'R' as 8N1 characters, 41 bits), and its complement for
//     the inverted signal, allowing up to 3 differing bits.
//   - Acquisition: the opening's known bits give the start time and bit length (best correlation
//     over a fine grid) and the signal's level.
//   - Reading: each character's ten bits are integrated over their exact (fractional) intervals.
//     The transitions of the character, its start-bit edge first, measure the clock's error; a
//     second-order loop moves the next character's start and the bit length accordingly.
//   - Check and repair: the checksum over '$' .. end. A failed block whose framing bits are
//     sound (at most 2 wrong) and that has few doubtful bits (at most 8) may be repaired by
//     flipping one of its four most doubtful data bits (a click's large sample or a small
//     integral); never a block whose payload is all zeros or all ones. Trying four bits keeps
//     the chance that a block with three or more errors passes near 4 in 65,536, where the
//     gates let a repair be tried at all; two errors can never be repaired into a wrong block,
//     as the checksum detects every pattern of three.
#pragma once

#include "demod/sync_demod_state.h"

namespace nimbra {

// Takes one sample. Returns true when a block has finished and waits in state.block.
bool syncDemodSample(SyncDemodState& state, float sample);

}  // namespace nimbra
