#include "station/position_filter.h"

#include <cmath>

namespace nimbra::station {

namespace {

// Fixes a moment apart may differ by a GPS's noise whatever the speed.
constexpr double kNoiseM = 50.0;

}  // namespace

bool PositionFilter::plausible(const StationFix& from, const StationFix& to)
{
    const double dt = std::fabs(to.timeS - from.timeS);
    const double d = distanceM(from.latitude, from.longitude, to.latitude, to.longitude);
    return d <= kNoiseM + kMaxSpeedKmh / 3.6 * dt;
}

bool PositionFilter::accept(const StationFix& fix)
{
    const bool sane = std::isfinite(fix.latitude) && std::isfinite(fix.longitude) && std::fabs(fix.latitude) <= 90.0 &&
                      std::fabs(fix.longitude) <= 180.0 && !(fix.speedMps * 3.6 > kMaxSpeedKmh);
    if (sane && (!last_ || plausible(*last_, fix))) {
        last_ = fix;
        doubted_.clear();
        return true;
    }
    ++rejected_;
    if (!sane)
        return false;
    // Far from the last, but perhaps the start of where the station really is now.
    if (!doubted_.empty() && !plausible(doubted_.back(), fix))
        doubted_.clear();
    doubted_.push_back(fix);
    if (static_cast<int>(doubted_.size()) < kAgree)
        return false;
    last_ = fix;
    doubted_.clear();
    return true;
}

}  // namespace nimbra::station
