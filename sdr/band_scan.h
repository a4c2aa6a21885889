// BandScan: where the radio is tuned to cover the band the station listens to.
//
// In:  the band (--band LOW:HIGH, default 1676-1682 MHz), the radio's rate, an optional fixed
//      tuning (--freq); then, as the station runs, the time and whether a sonde was decoded in
//      the window lately.
// Out: the windows' centres, and when to move on to the next.
//
// A radio whose rate covers the band (the usable part of its band: kUsableShare of the rate,
// the edges being the anti-alias filter's) is tuned to the band's middle and stays. A narrower
// one steps through windows that cover the band with a little overlap: it stays on a window
// while a sonde there has decoded within kHoldS, and moves on after kDwellS without one. While it
// stays it hears nothing of the other windows: a sonde switched on there is found only once the
// radio moves on, after the sondes of its window have gone quiet.
#pragma once

#include <optional>
#include <vector>

namespace nimbra::sdr {

struct BandPlan {
    double lowHz = 1676e6, highHz = 1682e6;
    std::vector<double> windows;  // centre frequencies, low to high
    bool fixed = false;           // one tuning given by the user, never moved
};

constexpr double kUsableShare = 0.8;

// The windows for a band and rate; a fixed tuning (when given) is the only window.
BandPlan planBand(double lowHz, double highHz, double rate, std::optional<double> tunedHz);

class BandScan {
public:
    static constexpr double kDwellS = 6.0;
    static constexpr double kHoldS = 10.0;

    explicit BandScan(BandPlan plan) : plan_(std::move(plan)) {}

    const BandPlan& plan() const { return plan_; }
    double tunedHz() const { return plan_.windows[window_]; }
    std::size_t window() const { return window_; }
    // The time now (seconds of the station's clock) and the last time a sonde in the current
    // window decoded a block (or a negative value for never). Returns the next window's
    // frequency when the radio should move there, else nothing.
    std::optional<double> step(double nowS, double lastDecodeS);

private:
    BandPlan plan_;
    std::size_t window_ = 0;
    double arrivedS_ = -1.0;
};

}  // namespace nimbra::sdr
