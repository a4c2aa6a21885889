// FollowedSonde: which sonde a rotator follows when several are heard. The user's choice when
// there is one; else the one that gave the newest trusted fix, kept while it goes on giving
// them: another sonde's newer fix takes over only after the followed one was quiet for kQuietS
// (two sondes in the air take turns every half second, and the antenna must not swing between
// them).
//
// In:  each trusted fix's sonde and time; the user's choice, or none.
// Out: whether a fix is of the sonde followed.
#pragma once

#include <optional>

namespace nimbra::station {

class FollowedSonde {
public:
    static constexpr double kQuietS = 30.0;

    void choose(std::optional<unsigned> id) { chosen_ = id; }
    const std::optional<unsigned>& chosen() const { return chosen_; }
    // A trusted fix of `id` at `timeS`: true when the rotator is to follow it.
    bool offer(unsigned id, double timeS);
    std::optional<unsigned> followed() const { return chosen_ ? chosen_ : automatic_; }

private:
    std::optional<unsigned> chosen_, automatic_;
    double automaticS_ = 0.0;  // the followed sonde's last trusted fix
};

}  // namespace nimbra::station
