// StationFix: where the station is, from its own GPS (a chase car) or as the user typed it.
#pragma once

#include <cstdint>

namespace nimbra::station {

struct StationFix {
    double latitude = 0.0;   // degrees
    double longitude = 0.0;  // degrees
    double altitude = 0.0;   // metres
    bool altitudeKnown = false;
    double speedMps = 0.0;   // over ground, as the receiver reports it
    double timeS = 0.0;      // steady-clock seconds when it was taken
};

// Great-circle distance in metres and initial bearing in degrees (0 north, clockwise) from a to b.
double distanceM(double lat1, double lon1, double lat2, double lon2);
double bearingDeg(double lat1, double lon1, double lat2, double lon2);

}  // namespace nimbra::station
