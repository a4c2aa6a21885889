// Flight phase: ascent, burst, descent, landed, from the altitudes of the trusted fixes.
//
// In:  the time (s) and altitude (m) of each trusted fix, in order.
// Out: the phase after that fix, and the highest point of the ascent (the burst).
//
// Rates are measured over at least rateBaseS, so GPS scatter of a few metres cannot fake a climb
// or a fall. The rules and why:
//   Unknown -> Ascent   climbing faster than 1.5 m/s: balloons rise at 3-8 m/s; a sonde on the
//                       ground before launch, or carried about, stays Unknown.
//   Unknown -> Descent  falling faster than 4 m/s (reception began after the burst).
//   Ascent  -> Burst    at least 150 m below the highest point and falling faster than 4 m/s
//                       over each of the last two stretches of rateBaseS: a sustained descent. A
//                       parachute falls at 4 m/s or more even near the ground; downdrafts that
//                       push an ascending balloon down that fast for 20 s are rare. After a
//                       burst at 30 km this confirms it about 20 s after the highest point, when
//                       the fall has steadied enough to measure the parachute's rate.
//   Burst   -> Descent  burstShowS after the highest point (at least the confirming fix shows
//                       Burst), so a display shows the burst for a while.
//   Descent -> Landed   the altitude has changed by less than 0.5 m/s over the last 30 s.
// Landed stays until reset (a sonde carried off by its finder is still landed).
#pragma once

#include <deque>

#include "flight/flight_fix.h"

namespace nimbra::flight {

// "unknown", "ascent", "burst", "descent", "landed": the CSV and JSON values.
const char* phaseName(FlightPhase phase);
// "Unknown", "Ascent", "Burst", "Descent", "Landed": for display.
const char* phaseLabel(FlightPhase phase);

struct PhaseLimits {
    double rateBaseS = 10.0;
    double ascentRateMps = 1.5;
    double descentRateMps = 4.0;
    double burstDropM = 150.0;
    double burstShowS = 60.0;
    double landedBaseS = 30.0;
    double landedRateMps = 0.5;
};

struct HighestPoint {
    bool known = false;
    double timeS = 0.0;
    double latitude = 0.0;
    double longitude = 0.0;
    double altitude = 0.0;
};

class PhaseDetector {
public:
    explicit PhaseDetector(const PhaseLimits& limits = {}) : limits_(limits) {}

    FlightPhase update(double timeS, double latitude, double longitude, double altitude);
    void reset();
    // New limits apply from the next fix; the phase so far stays.
    void setLimits(const PhaseLimits& limits) { limits_ = limits; }

    FlightPhase phase() const { return phase_; }
    // The highest point of the ascent so far; the burst point once the phase has passed Burst.
    const HighestPoint& highest() const { return highest_; }
    bool burstSeen() const { return burstSeen_; }
    // Since when the altitude has stayed within kRestM of its mean over the last landedBaseS:
    // once Landed, about when the sonde came down (GPS scatter of a few metres stays well
    // inside; at 5 m/s the fall's last 4 s do too).
    double restingSinceS() const;
    static constexpr double kRestM = 20.0;

private:
    struct Sample {
        double timeS;
        double altitude;
    };
    // Climb rate over a stretch of at least baseS that ends at the newest sample at least endAgeS
    // old; false when the history is not that long yet.
    bool rateOver(double baseS, double& rate, double endAgeS = 0.0) const;

    PhaseLimits limits_;
    FlightPhase phase_ = FlightPhase::Unknown;
    std::deque<Sample> history_;
    HighestPoint highest_;
    bool burstSeen_ = false;
};

}  // namespace nimbra::flight
