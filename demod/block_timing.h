// BlockTiming: where a block lay in the decoder's input, as the demodulator that read it knows
// it, in the decoder's sample time (sample n stands for [n, n + 1)). The per-block Eb/N0
// estimate (demod/signal_quality.h) searches for the block around it.
#pragma once

namespace nimbra {

// Where a block lay in the input, as well as the demodulator that read it knows.
struct BlockTiming {
    double dollarStart = 0.0;      // sample time of the leading edge of the '$' start bit
    double bitLength = 5.0;        // samples per bit
    double startTolerance = 16.0;  // the start is searched this many samples either way
    double rateTolerance = 0.004;  // and the bit length this fraction either way
};

}  // namespace nimbra
