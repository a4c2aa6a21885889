// IqSoftBits: the Sync stage's soft-value source for SDR input. The stage (demod/sync_stage.h)
// recovers the bit clock, frames the block and repairs it; this source answers its questions
// from a sonde channel's tone detector instead of from audio samples.
//
// In:  the channel (any Front with searchValue, windowValue and bitValue in band periods: see
//      sonde_channel.h), and the period being handed over (the stage's "now").
// Out: the stage's source members: count(), hardBit() for the search for a block's opening,
//      integrate() for the acquisition grid and the clock's edge measurements (one window matched
//      to each tone: it measures a window that straddles an edge as the audio integral does), and
//      bitValue() for the bits themselves (multiple-symbol values where the tones are close).
#pragma once

#include <cstdint>

namespace nimbra::iq {

template <class Front>
class IqSoftBits {
public:
    explicit IqSoftBits(const Front& front) : front_(front) {}

    // The stage is stepped for period `period`: count() is then period + 1.
    void setPeriod(std::int64_t period) { count_ = period + 1; }

    std::int64_t count() const noexcept { return count_; }
    // 1 for a mark: the lower tone's window the stronger over the bit that ends now.
    int hardBit() const noexcept { return front_.searchValue(count_ - 1) < 0.0f ? 1 : 0; }
    // The detector's values have no clicks to flag: `peak` is 0, and the stage's repair looks at
    // the values alone.
    double integrate(double a, double b, float* peak) const noexcept
    {
        if (peak)
            *peak = 0.0f;
        return front_.windowValue(a, b);
    }
    double bitValue(double a, double b, float* peak) const noexcept
    {
        if (peak)
            *peak = 0.0f;
        return front_.bitValue(a, b);
    }

private:
    const Front& front_;
    std::int64_t count_ = 0;
};

}  // namespace nimbra::iq
