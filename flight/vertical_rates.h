// Vertical rates for the landing prediction: the mean ascent rate of the balloon, and the
// parachute's sea-level descent rate fitted to the observed descent.
//
// In:  time (s) and altitude (m) of trusted fixes: during the ascent for the ascent rate, after
//      the burst for the descent rate.
// Out: the mean ascent rate over the last ascentWindowS (m/s); the sea-level descent rate v0 (m/s)
//      such that the descent rate at altitude h is v0 x sqrt(rho(0) / rho(h)).
//
// The descent fit measures the sea-level rate over the newer half of each stretch of fall that
// ends at the newest fix and spans at least kFitBaseS and kFitDropM (a fast fall high up gives a
// stretch of 10 s, a slow one near the ground up to kFitMaxBaseS, so that GPS scatter of a few
// metres stays a few percent). A stretch whose two halves fall at sea-level rates differing by
// kSteadyFraction or more (the sonde still settling on its speed after the burst, the parachute
// opening) adds nothing; a steadier one counts the more the closer its halves agree. Samples
// are averaged with weights that also halve every kFitHalfLifeS, so the fit follows the newest,
// lower and denser air, where a standard atmosphere differs least from the real one. Until the
// first steady stretch, the newer half of the newest stretch stands in: better than the setting
// as soon as the fall has begun.
#pragma once

#include <deque>

namespace nimbra::flight {

class AscentRateMean {
public:
    static constexpr double kWindowS = 600.0;
    static constexpr double kMinSpanS = 20.0;

    void add(double timeS, double altitude);
    void reset() { samples_.clear(); }
    // False until the ascent has been followed for kMinSpanS.
    bool known() const;
    double rateMps() const;

private:
    struct Sample {
        double timeS;
        double altitude;
    };
    std::deque<Sample> samples_;  // one about every 5 s, plus the newest
};

class DescentRateFit {
public:
    static constexpr double kFitBaseS = 10.0;
    static constexpr double kFitDropM = 300.0;
    static constexpr double kFitMaxBaseS = 60.0;
    static constexpr double kSteadyFraction = 0.1;
    static constexpr double kFitHalfLifeS = 120.0;

    // Every trusted fix goes in, so that the stretches are there when the descent begins; only
    // those with `fitting` set (after the burst) add samples to the fit, from stretches that
    // begin at fallStartS (the highest point) or later.
    void add(double timeS, double altitude, bool fitting, double fallStartS);
    void reset();
    // A rate is known once one stretch after the burst was measured; until a steady one has
    // been, it is the newest stretch's rate (the sonde may still be settling on its speed).
    bool known() const { return weight_ > 0.0 || provisional_ > 0.0; }
    double seaLevelRateMps() const { return weight_ > 0.0 ? sum_ / weight_ : provisional_; }

private:
    struct Sample {
        double timeS;
        double altitude;
    };
    std::deque<Sample> history_;
    double sum_ = 0.0;
    double weight_ = 0.0;
    double provisional_ = 0.0;
    double lastTimeS_ = 0.0;
};

}  // namespace nimbra::flight
