#include "outputs/chase_car_schedule.h"

#include "flight/local_plane.h"

namespace nimbra::outputs {

bool ChaseCarSchedule::due(const std::optional<formats::Station>& at, double nowS) const
{
    if (!at)
        return false;
    if (!last_)
        return true;
    const double since = nowS - lastS_;
    const double moved =
        flight::lengthOf(flight::offsetBetween(double(last_->latitude), double(last_->longitude), double(at->latitude),
                                               double(at->longitude)));
    return (moved > kMovedM && since >= kMovingS) || since >= kStandingS;
}

void ChaseCarSchedule::uploaded(const formats::Station& at, double nowS)
{
    last_ = at;
    lastS_ = nowS;
}

}  // namespace nimbra::outputs
