// Landing predictor: where and when the sonde comes down, from its own winds.
//
// In:  the present fix (position, altitude, time), the flight phase, the rates and altitudes to
//      fly by (PredictionStart) and the measured wind profile.
// Out: a LandingPrediction: the landing point and time, the burst point, and the path from the
//      fix to the landing.
//
// The flight is flown forward in altitude steps of stepM: while ascending, up at the ascent rate
// to the burst altitude; then down to the ground altitude at v0 x sqrt(rho(0)/rho(h)) (standard
// atmosphere). Each step drifts with the wind at the step's middle altitude (above the highest
// measured band, the highest band's wind), in metres east and north of the fix: over the few
// hundred km a flight can drift the local plane is good to a fraction of a percent. A path point
// is kept every pathStepM of altitude, so a 30 km flight has about 120.
//
// Nothing is predicted for a balloon that climbs slower than kMinAscentMps (a floater would
// drift for hours) or falls slower than kMinDescentMps, or for a flight that would last beyond
// kMaxFlightS.
#pragma once

#include <cstdint>

#include "flight/flight_fix.h"
#include "flight/wind_profile.h"

namespace nimbra::flight {

struct PredictionStart {
    double latitude = 0.0;   // degrees
    double longitude = 0.0;  // degrees
    double altitude = 0.0;   // metres
    std::int64_t timeMs = 0;  // ms since 1970-01-01 UTC
    bool ascending = false;   // still to climb to burstAltitudeM
    double ascentRateMps = 5.0;
    double descentRateMps = 5.0;  // sea level
    double burstAltitudeM = 30000.0;
    double groundAltitudeM = 0.0;
};

struct PredictionSteps {
    double stepM = 50.0;
    double pathStepM = 500.0;
};

constexpr double kMinAscentMps = 0.5;
constexpr double kMinDescentMps = 0.5;
constexpr double kMaxFlightS = 12.0 * 3600.0;

LandingPrediction predictLanding(const PredictionStart& start, const WindProfile& winds,
                                 const PredictionSteps& steps = {});

}  // namespace nimbra::flight
