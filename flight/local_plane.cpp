#include "flight/local_plane.h"

#include <cmath>

namespace nimbra::flight {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kA = 6378137.0;             // WGS 84 equatorial radius, m
constexpr double kE2 = 6.69437999014e-3;     // WGS 84 first eccentricity squared

struct Radii {
    double meridianM;  // north-south curvature
    double parallelM;  // radius of the circle of latitude (prime vertical x cos latitude)
};

Radii radiiAt(double latDeg)
{
    const double phi = latDeg * kPi / 180.0;
    const double s = std::sin(phi);
    const double w = 1.0 - kE2 * s * s;
    const double primeVertical = kA / std::sqrt(w);
    return {kA * (1.0 - kE2) / (w * std::sqrt(w)), primeVertical * std::cos(phi)};
}

double wrapDegrees(double d)
{
    d = std::fmod(d + 180.0, 360.0);
    if (d < 0.0)
        d += 360.0;
    return d - 180.0;
}

}  // namespace

Offset offsetBetween(double lat1Deg, double lon1Deg, double lat2Deg, double lon2Deg)
{
    const Radii r = radiiAt(0.5 * (lat1Deg + lat2Deg));
    const double toRad = kPi / 180.0;
    return {wrapDegrees(lon2Deg - lon1Deg) * toRad * r.parallelM, (lat2Deg - lat1Deg) * toRad * r.meridianM};
}

void moveBy(double& latDeg, double& lonDeg, double eastM, double northM)
{
    // Half a step north first, so the radii are those of the step's middle.
    const Radii r = radiiAt(latDeg + 0.5 * northM / radiiAt(latDeg).meridianM * 180.0 / kPi);
    latDeg += northM / r.meridianM * 180.0 / kPi;
    // Near a pole the circle of latitude shrinks to nothing: no longitude step there.
    if (r.parallelM > 1.0)
        lonDeg = wrapDegrees(lonDeg + eastM / r.parallelM * 180.0 / kPi);
}

double lengthOf(const Offset& offset) { return std::hypot(offset.eastM, offset.northM); }

}  // namespace nimbra::flight
