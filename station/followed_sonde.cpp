#include "station/followed_sonde.h"

namespace nimbra::station {

bool FollowedSonde::offer(unsigned id, double timeS)
{
    if (chosen_)
        return id == *chosen_;
    if (!automatic_ || *automatic_ == id || timeS - automaticS_ > kQuietS) {
        automatic_ = id;
        automaticS_ = timeS;
        return true;
    }
    return false;
}

}  // namespace nimbra::station
