// SampleHistory: the last 65,536 input samples (about 1.4 s at 48,000 samples/s), as they reached
// the decoder, before inversion and filtering.
//
// In:  every sample, with its number (samples the decoder had consumed before it).
// Out: any of the last kSize samples by number, for the block-quality estimate and the input
//      level, which look back over a finished block or the last half second.
//
// Fixed-size; a store is two comparisons and one write, without a branch. Values beyond +-1e9 are
// held to that range and NaN is stored as +1e9, so that sums over the history stay finite
// whatever the input.
#pragma once

#include <algorithm>
#include <cstdint>

namespace nimbra {

struct SampleHistory {
    static constexpr int kSize = 65536;  // a power of two
    static constexpr std::int64_t kMask = kSize - 1;
    static constexpr float kLimit = 1e9f;

    float ring[kSize] = {};

    void store(std::int64_t number, float sample) noexcept
    {
        // In this order NaN fails the first test and becomes kLimit (minss/maxss, no branch).
        const float below = sample < kLimit ? sample : kLimit;
        ring[number & kMask] = below > -kLimit ? below : -kLimit;
    }
    float at(std::int64_t number) const noexcept { return ring[number & kMask]; }

    // Calls f(first, count) for the contiguous pieces of the ring that hold samples
    // [from, to) (at most two; to - from at most kSize).
    template <typename F>
    void forEachPiece(std::int64_t from, std::int64_t to, F&& f) const
    {
        while (from < to) {
            const auto start = static_cast<int>(from & kMask);
            const auto count = static_cast<int>(std::min<std::int64_t>(to - from, kSize - start));
            f(ring + start, count);
            from += count;
        }
    }
};

}  // namespace nimbra
