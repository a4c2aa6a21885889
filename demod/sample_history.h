// SampleHistory: the last 65,536 input samples (about 1.4 s at 48,000 samples/s), as they reached
// the decoder, before inversion and filtering.
//
// In:  every sample, with its number (samples the decoder had consumed before it).
// Out: any of the last kSize samples by number, for the block-quality estimate and the input
//      level, which look back over a finished block or the last half second.
//
// Fixed-size; a store is one write. Values beyond +-1e9 (and NaN) are held to that range (NaN
// reads as 0) so that sums over the history stay finite whatever the input.
#pragma once

#include <cmath>
#include <cstdint>

namespace nimbra {

struct SampleHistory {
    static constexpr int kSize = 65536;  // a power of two
    static constexpr std::int64_t kMask = kSize - 1;
    static constexpr float kLimit = 1e9f;

    float ring[kSize] = {};

    void store(std::int64_t number, float sample) noexcept
    {
        if (!(std::fabs(sample) <= kLimit))
            sample = std::isnan(sample) ? 0.0f : std::copysign(kLimit, sample);
        ring[number & kMask] = sample;
    }
    float at(std::int64_t number) const noexcept { return ring[number & kMask]; }
};

}  // namespace nimbra
