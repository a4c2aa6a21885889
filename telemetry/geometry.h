// Observer geometry on a simple ellipsoidal earth: where a fix lies as seen from the station
// (range, azimuth, elevation), and the distance and bearing between two fixes.
//
// In:  geodetic latitude and longitude in degrees (north and east positive), heights in metres.
// Out: range in km truncated to whole metres, azimuth 0..360 degrees from north through east,
//      elevation in degrees above the observer's horizon.
// All intermediate arithmetic is double precision; the look-angle results are 32-bit floats.
// The geodetic latitude is used as the angle of the radius vector (no prime-vertical radius).
#pragma once

namespace nimbra {

// Earth centre to the surface of the reference ellipsoid at geodetic latitude phi (radians), m.
double EllipsoidRadius(double latitudeRad);

struct Cartesian {
    double r;  // distance from the earth's centre, m
    double x;
    double y;
    double z;
};
// Earth-centred coordinates of a point at (degrees, degrees, metres above the ellipsoid).
Cartesian GeodeticToCartesian(double latitudeDeg, double longitudeDeg, double heightM);

struct ObserverFrame {
    double x;  // up at the observer
    double y;  // east
    double z;  // north
};
// The target in a frame turned so that the observer lies on the +x axis; the target is scaled
// to radius `scaleRadiusM`.
ObserverFrame RotateToObserverFrame(double targetLatDeg, double targetLonDeg, double targetHeightM,
                                    double observerLatDeg, double observerLonDeg,
                                    double scaleRadiusM);

struct LookAngles {
    float rangeKm;
    float azimuthDeg;
    float elevationDeg;
};
LookAngles ComputeLookAngles(float observerLatDeg, float observerLonDeg, float observerHeightM,
                             float targetLatDeg, float targetLonDeg, float targetHeightM);

}  // namespace nimbra
