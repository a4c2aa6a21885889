#include "station/station_fix.h"

#include <cmath>

namespace nimbra::station {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kEarthRadiusM = 6371008.8;
constexpr double kRadians = kPi / 180.0;

}  // namespace

double distanceM(double lat1, double lon1, double lat2, double lon2)
{
    const double p1 = lat1 * kRadians, p2 = lat2 * kRadians;
    const double dp = p2 - p1, dl = (lon2 - lon1) * kRadians;
    const double a = std::sin(dp / 2) * std::sin(dp / 2) + std::cos(p1) * std::cos(p2) * std::sin(dl / 2) * std::sin(dl / 2);
    return 2.0 * kEarthRadiusM * std::asin(std::min(1.0, std::sqrt(a)));
}

double bearingDeg(double lat1, double lon1, double lat2, double lon2)
{
    const double p1 = lat1 * kRadians, p2 = lat2 * kRadians, dl = (lon2 - lon1) * kRadians;
    const double y = std::sin(dl) * std::cos(p2);
    const double x = std::cos(p1) * std::sin(p2) - std::sin(p1) * std::cos(p2) * std::cos(dl);
    const double b = std::atan2(y, x) / kRadians;
    return b < 0.0 ? b + 360.0 : b;
}

}  // namespace nimbra::station
