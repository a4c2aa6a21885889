// SlicerState: what the Edge and Level slicers remember between samples.
//
// The slicer decides between two line levels (low carries 1 bits, high carries 0 bits; the idle
// line is low), counts the samples of each run of equal level and keeps the running mean of the
// squared sample from which the automatic threshold follows. Only Edge and Level samples change
// it: while another demodulator runs, it stays frozen.
#pragma once

#include <climits>

namespace nimbra {

struct SlicerState {
    // The run length stops here, so that N + 3 (the rounding of the bit count) cannot overflow.
    static constexpr int kMaxRunLength = INT_MAX - 3;

    float mean = 0.0f;   // running mean of the squared conditioned sample (output units^2)
    int level = 0;       // 0 low, 1 high
    int runLength = 0;   // Edge/Level samples since the last level change, saturating
    int decision = 0;    // -1 after a change to low, +1 after a change to high, 0 before any
    // Delay line: the last three conditioned samples, truncated toward zero.
    int x1 = 0;
    int x2 = 0;
    int x3 = 0;
};

}  // namespace nimbra
