// Trajectory: a balloon flight flown through a wind field: ascent, burst, parachute descent,
// landing, and the sonde lying on the ground after it.
//
// In:  TrajectorySettings (launch site, rates, burst and ground altitudes, seed) and a WindField.
// Out: the position the sonde reports once a second from launch (its GPS, with the sonde's swing
//      and the receiver's scatter), and the true burst and landing points and times.
//
// The physics, integrated in steps of 0.1 s:
//   - ascent at ascentRateMps, rising by 10 % towards 30 km (the balloon expands), with slow
//     vertical air motion of about 0.3 m/s;
//   - burst on reaching burstAltitudeM;
//   - descent at v0 x sqrt(rho(0)/rho(h)) with rho the density of this flight's atmosphere: the
//     standard atmosphere with a smooth deviation that grows with altitude to up to +-10 % in
//     density at 30 km (about a mid-latitude winter's or summer's difference there) plus a 2 %
//     ripple, and a slowly varying 2 % in the rate (swinging, spinning);
//   - the vertical speed settles on its target within about 2 s (3 s after the burst), the
//     horizontal velocity on the wind plus gusts (0.7 m/s, 20 s) within about 3 s;
//   - the reported position adds the swing of the sonde 30 m below its balloon or parachute
//     (about 2 m, 11 s) and GPS scatter (about 2 m horizontally, 4 m vertically, correlated over
//     5 s).
// The landing point is where the descent reaches groundAltitudeM, found to within the step.
#pragma once

#include <cstdint>
#include <vector>

#include "synth/wind_field.h"

namespace nimbra::synth {

struct TrajectorySettings {
    double launchLatitude = 39.75135;   // degrees
    double launchLongitude = -76.98292;
    double launchAltitudeM = 220.0;
    double ascentRateMps = 5.0;
    double burstAltitudeM = 30000.0;
    double descentRateMps = 5.0;   // at sea level
    double groundAltitudeM = 220.0;
    double afterLandingS = 60.0;   // seconds of fixes from the ground after the landing
    std::uint64_t seed = 1;        // gusts, swing, GPS scatter, the atmosphere's deviation
    bool scatter = true;           // false: the true path, no swing or GPS scatter
};

struct TrajectoryPoint {
    double timeS = 0.0;     // seconds since launch
    double latitude = 0.0;  // degrees
    double longitude = 0.0;
    double altitude = 0.0;  // metres
};

struct Trajectory {
    std::vector<TrajectoryPoint> points;  // one a second, from launch (t = 0)
    TrajectoryPoint burst;
    TrajectoryPoint landing;
};

Trajectory flyTrajectory(const TrajectorySettings& settings, const WindField& wind);

}  // namespace nimbra::synth
