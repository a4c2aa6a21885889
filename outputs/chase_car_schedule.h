// ChaseCarSchedule: when a chase car's position goes to the network's listeners endpoint. Other
// hunters see the car on the map: every kMovingS while it moves, every kStandingS while it
// stands, and never while its position is unknown.
//
// In:  the car's position now (or none) and the time; each upload the server took.
// Out: whether an upload is due.
#pragma once

#include <optional>

#include "formats/track_documents.h"

namespace nimbra::outputs {

class ChaseCarSchedule {
public:
    static constexpr double kMovingS = 30.0;
    static constexpr double kStandingS = 300.0;
    static constexpr double kMovedM = 50.0;  // moved this far since the last upload: moving

    bool due(const std::optional<formats::Station>& at, double nowS) const;
    void uploaded(const formats::Station& at, double nowS);

private:
    std::optional<formats::Station> last_;
    double lastS_ = 0.0;
};

}  // namespace nimbra::outputs
