// Continuity check: decides whether an accepted fix belongs to the flight's continuous track.
//
// In:  each fix with a good checksum, in order: identifier, time counter, position, and a time
//      in seconds chosen by the caller (the recording's sample time; see below).
// Out: a verdict per fix: trusted or not, why not, and whether this fix started a new flight.
//
// A 16-bit checksum lets about one corrupted block in 65,536 through. On a weak signal that is a
// wrong fix every few hours, and nothing downstream can tell it from a real one. The check holds
// each fix against the last trusted one (the reference):
//   - identifier: the flight's own;
//   - time counter: it advances by the time between the two fixes, within
//     counterToleranceS + counterToleranceRate x elapsed time;
//   - motion: the move is possible (speed limits), and close to where the motion of the last
//     seconds leads (an allowance growing with the time between the fixes);
//   - duplicates: a fix with the reference's counter is never trusted again (the same counter
//     and position is a repeat; the same counter elsewhere is a second, conflicting copy).
// A fix that fails goes into a candidate chain. Three fixes that agree with one another by the
// same rules (fixesToAcquire) take over: that is how a flight is first picked up, how a new
// identifier takes over, how the track is picked up again after a gap (when the reference is
// older than gapS), and how a wrong reference would be replaced. The first two fixes of a chain
// stay untrusted: a verdict is never changed once given.
//
// Time: pass the sample time of the recording or the live stream (samples consumed / rate),
// even when live. It has no jitter; only the sample clock's rate error adds up, and that is what
// counterToleranceRate covers. The wall clock at the moment a fix is decoded jitters with the
// audio buffering; a caller that can only use it should raise counterToleranceS to about 2 s.
//
// Limits, and why (defaults of ContinuityLimits):
//   counterToleranceS 0.5 s: between two blocks the sample time moves by the counter's seconds
//     plus the change of block length (13.5 ms per satellite record, at most 0.27 s from 0 to
//     20 satellites) and the change of the demodulator's latency (Sync: a few ms; the Edge and
//     Level slicers hand over a block's last character at the line's next change, which on a
//     clean line is the next block's start: constant while blocks keep coming, and noise ends
//     it at once on a real receiver). Below one second, so a counter off by one (its lowest bit
//     flipped) is caught.
//   counterToleranceRate 0.002: a sound card's clock is within 100-300 ppm; 2,000 ppm also covers
//     a sonde whose bit rate is 1,603 ppm fast as seen through a receiver's clock.
//   maxHorizontalSpeedMps 200: about twice the strongest jet-stream winds measured (110 m/s); a
//     balloon or parachute never moves much faster than the air.
//   maxVerticalSpeedMps 100: a parachute at 35 km falls at about 12 times its sea-level rate
//     (60 m/s for 5 m/s); twice a tangled parachute's 50 m/s at 30 km fits below 100 m/s.
//   Motion allowance slackM + velocityErrorMps x dt + accel x dt^2 / 2 around the position that
//     the last trusted seconds lead to:
//     slackM 50 m: a GPS receiver's own jumps (satellite changes, multipath) and the sonde's
//       swing on its line; errors smaller than that are within the GPS's own scatter anyway;
//     velocityErrorMps 5 m/s: the error of the velocity measured over a few seconds;
//     horizontalAccelMps2 2 m/s^2: wind shear seen by a parachute falling 50 m/s through a
//       jet stream's 30 m/s per km gives 1.5 m/s^2; an ascending balloon sees 0.1;
//     verticalAccelMps2 20 m/s^2: a burst turns +5 m/s into -50 m/s within a few seconds: free
//       fall plus the recoil of the line.
//     At 1 s a fix off by 60 m or more is caught, at 10 s one off by 200 m; at 200 m/s x dt the
//     speed limit takes over.
//   gapS 60 s: the motion allowance grows with the square of the time; after a minute it is
//     several km, too wide to vouch for a fix. Older references, and chain links longer than
//     this, no longer count: the flight is picked up again by three fixes that agree with one
//     another, each within a minute of the one before.
//   fixesToAcquire 3: two agreeing fixes could be one wrong fix and a real one within the
//     allowance; three that agree in counter, speed and motion are not produced by chance.
#pragma once

#include <deque>
#include <vector>

#include "flight/flight_fix.h"

namespace nimbra::flight {

struct ContinuityLimits {
    double counterToleranceS = 0.5;
    double counterToleranceRate = 0.002;
    double maxHorizontalSpeedMps = 200.0;
    double maxVerticalSpeedMps = 100.0;
    double slackM = 50.0;
    double velocityErrorMps = 5.0;
    double horizontalAccelMps2 = 2.0;
    double verticalAccelMps2 = 20.0;
    double gapS = 60.0;
    int fixesToAcquire = 3;
};

// "trusted", "duplicate", "acquiring", "identifier", "counter", "motion", "unchecked".
const char* fixCheckName(FixCheck check);

struct FixSample {
    unsigned transmitterId = 0;
    unsigned timeCounter = 0;  // 16-bit, seconds
    double latitude = 0.0;     // degrees
    double longitude = 0.0;    // degrees
    double altitude = 0.0;     // metres
    double timeS = 0.0;        // the caller's time
};

struct ContinuityVerdict {
    bool trusted = false;
    FixCheck check = FixCheck::Acquiring;
    bool flightStarted = false;  // trusted, and the first of a flight (first ever, or a new identifier)
};

class ContinuityCheck {
public:
    explicit ContinuityCheck(const ContinuityLimits& limits = {});

    ContinuityVerdict check(const FixSample& fix);
    void reset();

    bool hasFlight() const { return !trusted_.empty(); }
    unsigned flightId() const { return flightId_; }
    const ContinuityLimits& limits() const { return limits_; }

private:
    struct Velocity {
        double eastMps = 0.0;
        double northMps = 0.0;
        double upMps = 0.0;
        bool known = false;
    };

    // Holds `to` against `from` (and the motion that led to `from`); Trusted when consistent.
    FixCheck compare(const FixSample& from, const Velocity& velocity, const FixSample& to) const;
    static Velocity velocityAt(const std::deque<FixSample>& fixes);
    bool joinChain(const FixSample& fix);

    ContinuityLimits limits_;
    std::deque<FixSample> trusted_;            // the last trusted fixes, newest at the back
    std::vector<std::deque<FixSample>> chains_;  // candidates, each in order
    unsigned flightId_ = 0;
};

}  // namespace nimbra::flight
