// BlockSignal: what a demodulator measured over the bits of a block it hands on, for the block's
// listeners (a signal-quality display estimates Eb/N0 per block from the soft-value statistics).
//
// Only demodulators that judge every bit of a block by its integral fill it (Sync); the slicers
// and the Pattern demodulator leave it unmeasured.
#pragma once

namespace nimbra {

struct BlockSignal {
    bool measured = false;
    int framingErrors = 0;  // start bits read as 1 and stop bits read as 0
    int doubtfulBits = 0;   // data bits whose decision was in doubt
    // Soft values of the data bits read (those after the block's '$' 'R', which the demodulator
    // knew from its search): each bit's integral over its interval divided by the bit length,
    // taken positive (so in the units of the samples: the mean level of the bit).
    // Mean = softSum / softBits; variance = softSumSquares / softBits - mean^2.
    int softBits = 0;
    double softSum = 0.0;
    double softSumSquares = 0.0;
};

}  // namespace nimbra
