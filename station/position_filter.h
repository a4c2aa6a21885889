// PositionFilter: keeps a GPS's glitches out of the station's position. Receivers report the odd
// fix thousands of kilometres an hour away from the last; such a fix is not taken. A car really
// moves, though, and a GPS that was off for a while comes back elsewhere: kAgree fixes in a row
// that agree with one another (plausible among themselves) are taken even far from the last.
//
// In:  each fix with its time.
// Out: whether it is taken as the station's position.
#pragma once

#include <optional>
#include <vector>

#include "station/station_fix.h"

namespace nimbra::station {

class PositionFilter {
public:
    static constexpr double kMaxSpeedKmh = 400.0;  // faster than any chase car: a glitch
    static constexpr int kAgree = 3;

    bool accept(const StationFix& fix);
    const std::optional<StationFix>& last() const { return last_; }
    int rejected() const { return rejected_; }

private:
    static bool plausible(const StationFix& from, const StationFix& to);

    std::optional<StationFix> last_;
    std::vector<StationFix> doubted_;  // fixes not taken, in a row
    int rejected_ = 0;
};

}  // namespace nimbra::station
