#include "flight/vertical_rates.h"

#include <cmath>

#include "flight/atmosphere.h"

namespace nimbra::flight {

namespace {

constexpr double kAscentSampleS = 5.0;

// Sea-level descent rate of a fall from a to b (a earlier and higher), using the density at the
// middle of the stretch.
double seaLevelRate(double t0, double h0, double t1, double h1)
{
    return (h0 - h1) / (t1 - t0) / descentFactor(0.5 * (h0 + h1));
}

}  // namespace

void AscentRateMean::add(double timeS, double altitude)
{
    // The newest sample always replaces the previous newest unless that one is a keeper.
    if (samples_.size() >= 2 && timeS - samples_[samples_.size() - 2].timeS < kAscentSampleS)
        samples_.back() = {timeS, altitude};
    else
        samples_.push_back({timeS, altitude});
    while (samples_.size() > 2 && timeS - samples_[1].timeS >= kWindowS)
        samples_.pop_front();
}

bool AscentRateMean::known() const
{
    return samples_.size() >= 2 && samples_.back().timeS - samples_.front().timeS >= kMinSpanS;
}

double AscentRateMean::rateMps() const
{
    if (!known())
        return 0.0;
    const Sample& a = samples_.front();
    const Sample& b = samples_.back();
    return (b.altitude - a.altitude) / (b.timeS - a.timeS);
}

void DescentRateFit::reset()
{
    history_.clear();
    sum_ = 0.0;
    weight_ = 0.0;
    provisional_ = 0.0;
    lastTimeS_ = 0.0;
}

void DescentRateFit::add(double timeS, double altitude, bool fitting, double fallStartS)
{
    history_.push_back({timeS, altitude});
    while (history_.size() > 2 && timeS - history_.front().timeS > kFitMaxBaseS)
        history_.pop_front();
    if (!fitting)
        return;
    // Nothing from before the fall began.
    while (history_.size() > 2 && history_.front().timeS < fallStartS)
        history_.pop_front();
    // The base: the newest fix at least kFitBaseS old and kFitDropM higher, or failing that the
    // oldest one kept, if at least kFitBaseS old.
    const Sample* base = nullptr;
    for (auto it = history_.rbegin(); it != history_.rend(); ++it)
        if (timeS - it->timeS >= kFitBaseS && it->altitude - altitude >= kFitDropM) {
            base = &*it;
            break;
        }
    if (!base && timeS - history_.front().timeS >= kFitBaseS)
        base = &history_.front();
    if (!base)
        return;
    const double half = 0.5 * (base->timeS + timeS);
    const Sample* middle = nullptr;
    for (const Sample& s : history_)
        if (s.timeS > base->timeS && s.timeS < timeS &&
            (!middle || std::fabs(s.timeS - half) < std::fabs(middle->timeS - half)))
            middle = &s;
    if (!middle)
        return;
    const double first = seaLevelRate(base->timeS, base->altitude, middle->timeS, middle->altitude);
    const double second = seaLevelRate(middle->timeS, middle->altitude, timeS, altitude);
    const double whole = seaLevelRate(base->timeS, base->altitude, timeS, altitude);
    if (!(whole > 0.0) || !(second > 0.0))
        return;
    // Steady falls count fully, a sonde still settling on its speed hardly at all.
    const double steadiness = 1.0 - std::fabs(first - second) / (kSteadyFraction * whole);
    if (steadiness <= 0.0) {
        provisional_ = second;
        return;
    }
    if (weight_ > 0.0) {
        const double decay = std::exp2(-(timeS - lastTimeS_) / kFitHalfLifeS);
        sum_ *= decay;
        weight_ *= decay;
    }
    sum_ += steadiness * second;
    weight_ += steadiness;
    lastTimeS_ = timeS;
}

}  // namespace nimbra::flight
