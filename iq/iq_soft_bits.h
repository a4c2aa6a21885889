// IqSoftBits: the Sync stage's soft-value source for SDR input. The stage (demod/sync_stage.h)
// recovers the bit clock, frames the block and repairs it; this source answers its questions
// from the IQ front end's detector instead of from audio samples.
//
// In:  the front end, and the period being handed over (the stage's "now").
// Out: the stage's source members: count(), hardBit() for the search for a block's opening,
//      integrate() for the acquisition grid and the clock's edge measurements (one window matched
//      to each tone: it measures a window that straddles an edge as the audio integral does), and
//      bitValue() for the bits themselves (multiple-symbol values where the tones are close).
#pragma once

#include <cmath>
#include <cstdint>

#include "iq/iq_front_end.h"

namespace nimbra::iq {

class IqSoftBits {
public:
    explicit IqSoftBits(const IqFrontEnd& frontEnd) : frontEnd_(frontEnd) {}

    // The stage is stepped for period `period`: count() is then period + 1.
    void setPeriod(std::int64_t period) { count_ = period + 1; }

    std::int64_t count() const noexcept { return count_; }
    // 1 for a mark: the lower tone's window the stronger over the bit that ends now.
    int hardBit() const noexcept { return frontEnd_.searchValue(count_ - 1) < 0.0f ? 1 : 0; }
    // The detector's values have no clicks to flag: `peak` is 0, and the stage's repair looks at
    // the values alone.
    double integrate(double a, double b, float* peak) const noexcept
    {
        if (peak)
            *peak = 0.0f;
        return frontEnd_.windowValue(a, b);
    }
    double bitValue(double a, double b, float* peak) const noexcept
    {
        if (peak)
            *peak = 0.0f;
        return frontEnd_.bitValue(a, b);
    }

private:
    const IqFrontEnd& frontEnd_;
    std::int64_t count_ = 0;
};

}  // namespace nimbra::iq
