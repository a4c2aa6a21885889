// FixContext: what the outputs add to a fix before it is queued: the sonde's serial string and
// whether its motion values (ascent, velocity, direction) can be sent.
//
// The decoder's motion values are smoothed (0.1 x new + 0.9 x old) from zero at the start of a
// run, so the first values show a sonde far too slow, heading north; after a change of
// transmitter they still hold the old sonde's motion. A constant rate is reached to 90 % after 22
// motion updates (1 - 0.9^22 > 0.9); until then the outputs send motion as unknown (-1 on the
// chase map, left out of the telemetry). With several sondes each channel has its own decoder,
// so each channel is counted on its own.
//
// In:  every fix handed to the outputs, in order, on the decoding thread.
// Out: the context of each fix.
#pragma once

#include <map>
#include <string>

#include "flight/flight_fix.h"
#include "outputs/sonde_identity.h"

namespace nimbra::outputs {

struct FixContext {
    std::string serial;
    bool motionKnown = false;
};

class FixContextMaker {
public:
    static constexpr int kMotionWarmupFixes = 23;  // the first fix has no motion update at all

    explicit FixContextMaker(SondeIdentity identity) : identity_(std::move(identity)) {}
    FixContext make(const FlightFix& fix);
    const SondeIdentity& identity() const { return identity_; }

private:
    struct Warmup {
        unsigned id = 0;
        int fixes = 0;
    };
    SondeIdentity identity_;
    std::map<int, Warmup> warmups_;  // by channel
};

}  // namespace nimbra::outputs
