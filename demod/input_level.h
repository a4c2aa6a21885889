// InputLevel: the level of the decoder's input over the last half second of signal, for the
// signal panel: peak and RMS in dBFS and the number of clipped samples.
//
// In:  the sample history, every kInterval samples (on the decoding thread).
// Out: three relaxed values the GUI thread reads at any time. Full scale is the 16-bit range
//      (32,768); a sample at or beyond +-32,767 counts as clipped. Silence reads as -120 dBFS.
#pragma once

#include <cstdint>

#include "demod/relaxed.h"
#include "demod/sample_history.h"

namespace nimbra {

struct InputLevel {
    static constexpr int kInterval = 24000;  // 500 ms at 48,000 samples/s
    static constexpr float kFloorDb = -120.0f;
    static constexpr float kClipLevel = 32767.0f;

    Relaxed<float> peakDbfs{kFloorDb};
    Relaxed<float> rmsDbfs{kFloorDb};
    Relaxed<int> clippedSamples{0};
    Relaxed<std::int64_t> measuredUpTo{0};  // samples consumed when the values were taken

    // Measures the kInterval samples before `end` (a sample number) and publishes the figures.
    void measure(const SampleHistory& history, std::int64_t end) noexcept;
};

}  // namespace nimbra
