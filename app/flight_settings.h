// Flight-tracking settings of the desktop program, in the settings store's group "FlightTracking":
//   trust           bool    the continuity check on (default true)
//   burstAltitude   double  metres, expected burst altitude for predictions before the burst
//                           (default 30000)
//   groundAltitude  double  metres, the landing altitude; absent: the station's altitude
//   ascentRate      double  m/s until the ascent is measured (default 5)
//   descentRate     double  m/s at sea level until the descent is measured (default 5)
//
// In:  the settings store (QSettings, the program's organization and application).
// Out: FlightTrackingSettings, and from it the flight::TrackerSettings for a FlightTracker.
//
// A value that is missing, not a number or out of its range (a damaged or hand-edited store)
// reads as its default; nothing else in the store is touched.
#pragma once

#include <optional>

#include "flight/flight_tracker.h"

namespace nimbra {

struct FlightTrackingSettings {
    bool trust = true;
    double burstAltitudeM = 30000.0;
    std::optional<double> groundAltitudeM;  // none: the station's altitude
    double ascentRateMps = 5.0;
    double descentRateMps = 5.0;

    // The tracker's settings, the ground at the station's altitude unless set.
    flight::TrackerSettings tracker(double stationAltitudeM) const;
};

FlightTrackingSettings LoadFlightTrackingSettings();
void SaveFlightTrackingSettings(const FlightTrackingSettings& settings);

}  // namespace nimbra
