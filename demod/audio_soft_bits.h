// AudioSoftBits: the soft-value source of the Sync stage for receiver audio. Keeps the last
// 1,024 conditioned samples and answers the stage's two questions: the hard bit that ends at
// the newest sample (for the search for a block's opening) and the integral of the signal over
// any interval of the recent past (for reading bits and measuring the clock).
//
// In:  conditioned samples at 48,000 samples/s, one per push(), any value (NaN reads as 0,
//      magnitudes are held within 1e9 so that sums and times stay finite).
// Out: see SyncStage (demod/sync_stage.h) for the interface it implements.
//
// Defined here so that the stage's calls compile inline: the audio path pays nothing for the
// separation of the source from the stage.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace nimbra {

class AudioSoftBits {
public:
    static constexpr int kRingSize = 1024;  // samples of history; a power of two
    static constexpr std::int64_t kRingMask = kRingSize - 1;
    static constexpr float kMaxSample = 1e9f;

    void reset() noexcept { *this = AudioSoftBits(); }

    void push(float sample) noexcept
    {
        if (!(std::fabs(sample) <= kMaxSample))
            sample = std::isnan(sample) ? 0.0f : std::copysign(kMaxSample, sample);
        ring_[count_ & kRingMask] = sample;
        ++count_;
    }

    // Samples pushed so far; the newest is sample count() - 1, standing for [count() - 1, count()).
    std::int64_t count() const noexcept { return count_; }

    // The hard bit of the newest five samples, 1 for a mark (the low level).
    int hardBit() const noexcept
    {
        const std::int64_t n = count_ - 1;
        const float sum5 = at(n) + at(n - 1) + at(n - 2) + at(n - 3) + at(n - 4);
        return sum5 < 0.0f ? 1 : 0;
    }

    // Integral of the signal over [a, b), sample i standing for the interval [i, i + 1).
    // `peak` (if given) receives the largest magnitude among the samples touched.
    double integrate(double a, double b, float* peak) const noexcept
    {
        const std::int64_t i0 = floorToInt(a);
        const std::int64_t i1 = floorToInt(b);
        float top = 0.0f;
        double sum;
        if (i0 == i1) {
            const float v = at(i0);
            top = std::fabs(v);
            sum = double(v) * (b - a);
        } else {
            const float first = at(i0);
            top = std::fabs(first);
            sum = double(first) * (double(i0 + 1) - a);
            for (std::int64_t i = i0 + 1; i < i1; ++i) {
                const float v = at(i);
                top = std::max(top, std::fabs(v));
                sum += double(v);
            }
            const double tail = b - double(i1);
            if (tail > 0.0) {
                const float last = at(i1);
                top = std::max(top, std::fabs(last));
                sum += double(last) * tail;
            }
        }
        if (peak)
            *peak = top;
        return sum;
    }

private:
    float at(std::int64_t i) const noexcept { return ring_[i & kRingMask]; }

    // floor() as an integer without a library call (times are finite and far inside the range).
    static std::int64_t floorToInt(double x) noexcept
    {
        const auto i = static_cast<std::int64_t>(x);
        return i - (x < double(i) ? 1 : 0);
    }

    float ring_[kRingSize] = {};
    std::int64_t count_ = 0;
};

}  // namespace nimbra
