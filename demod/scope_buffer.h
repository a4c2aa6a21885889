// ScopeBuffer: what the scope view draws. Two parallel rings of conditioned samples and slicer
// decisions (-1, 0, +1), written by the demodulators on the decoding thread and read entry by
// entry on the GUI thread. The hold flag keeps a Pattern capture on screen until it is drawn.
#pragma once

#include "demod/relaxed.h"

namespace nimbra {

struct ScopeBuffer {
    static constexpr int kSize = 3000;

    Relaxed<int> sample[kSize];    // conditioned sample, truncated toward zero
    Relaxed<int> decision[kSize];  // slicer decision at that sample: -1, 0 or +1
    Relaxed<int> writeIndex{0};    // next entry to write, 0..kSize-1
    Relaxed<int> hold{0};          // 1 while a Pattern capture waits to be drawn
};

}  // namespace nimbra
