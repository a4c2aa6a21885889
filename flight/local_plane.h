// Local plane: short distances on the earth in metres east and north, for the motion checks, the
// winds and the predicted drift.
//
// In:  geodetic latitude and longitude in degrees (north and east positive).
// Out: offsets in metres east and north on the WGS 84 ellipsoid, using the meridian and
//      prime-vertical radii at the mean latitude of the two points.
//
// Good to about 0.1 % over the 100 km or so a balloon drifts; not meant for continental spans.
// Longitude differences are taken the short way round, so a flight across the 180th meridian
// stays continuous.
#pragma once

namespace nimbra::flight {

struct Offset {
    double eastM = 0.0;
    double northM = 0.0;
};

// From (lat1, lon1) to (lat2, lon2).
Offset offsetBetween(double lat1Deg, double lon1Deg, double lat2Deg, double lon2Deg);

// Moves a point by an offset in place; the longitude stays within -180..180.
void moveBy(double& latDeg, double& lonDeg, double eastM, double northM);

// Length of an offset, metres.
double lengthOf(const Offset& offset);

}  // namespace nimbra::flight
