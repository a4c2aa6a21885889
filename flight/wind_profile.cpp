#include "flight/wind_profile.h"

#include <cmath>
#include <iterator>

namespace nimbra::flight {

WindProfile::WindProfile(double bandHeightM) : bandHeightM_(bandHeightM > 1.0 ? bandHeightM : 1.0) {}

int WindProfile::bandOf(double altitudeM) const
{
    // Limited so that a corrupted altitude cannot overflow the index.
    const double b = std::floor(altitudeM / bandHeightM_);
    return static_cast<int>(b < -1e6 ? -1e6 : (b > 1e6 ? 1e6 : b));
}

void WindProfile::add(double altitudeM, const Wind& wind, double timeS)
{
    if (!std::isfinite(altitudeM) || !std::isfinite(wind.eastMps) || !std::isfinite(wind.northMps))
        return;
    State& s = bands_[bandOf(altitudeM)];
    if (s.samples > 0 && timeS - s.lastTimeS > kNewPassS && s.samples > kCarrySamples)
        s.samples = kCarrySamples;
    if (s.samples < kMemorySamples)
        ++s.samples;
    const double k = 1.0 / s.samples;
    s.wind.eastMps += k * (wind.eastMps - s.wind.eastMps);
    s.wind.northMps += k * (wind.northMps - s.wind.northMps);
    s.lastTimeS = timeS;
}

Wind WindProfile::at(double altitudeM) const
{
    if (bands_.empty())
        return {};
    if (!std::isfinite(altitudeM))
        return bands_.begin()->second.wind;
    // The first band whose centre lies above the altitude, and the one before it.
    const int below = bandOf(altitudeM - 0.5 * bandHeightM_);
    const auto upper = bands_.upper_bound(below);
    if (upper == bands_.begin())
        return upper->second.wind;
    const auto lower = std::prev(upper);
    if (upper == bands_.end())
        return lower->second.wind;
    const double c0 = centreOf(lower->first);
    const double c1 = centreOf(upper->first);
    const double f = (altitudeM - c0) / (c1 - c0);
    const Wind& w0 = lower->second.wind;
    const Wind& w1 = upper->second.wind;
    return {w0.eastMps + f * (w1.eastMps - w0.eastMps), w0.northMps + f * (w1.northMps - w0.northMps)};
}

double WindProfile::topM() const { return bands_.empty() ? 0.0 : (bands_.rbegin()->first + 1) * bandHeightM_; }

std::vector<WindBand> WindProfile::bands() const
{
    std::vector<WindBand> out;
    out.reserve(bands_.size());
    for (const auto& [band, s] : bands_)
        out.push_back({band * bandHeightM_, s.wind, s.samples, s.lastTimeS});
    return out;
}

}  // namespace nimbra::flight
