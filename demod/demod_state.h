// DemodState: the state of the per-sample demodulators (conditioning filter, running mean,
// slicer, byte framer, Pattern demodulator), all fixed-size and zero at start.
#pragma once

namespace nimbra {

struct DemodState {
    // Filled in by the demodulator modules.
};

}  // namespace nimbra
