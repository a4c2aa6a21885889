#include "telemetry/geometry.h"

#include <cmath>

namespace nimbra {

namespace {

// These constants are part of the decoder's output: every displayed angle and range depends on
// them to the last digit, so they stay exactly as the reference values give them.
constexpr double kPi = 3.1415927;
constexpr double kEquatorialRadius = 6378137.0;         // a, m
constexpr double kPolarRadius = 6356752.3;              // b, m
constexpr double kEquatorialRadius2 = 40680631590769.0;  // a²
constexpr double kPolarRadius2 = 40408299803555.29;      // b²

double toRadians(double degrees) { return degrees * kPi / 180.0; }
double toDegrees(double radians) { return radians * 180.0 / kPi; }

}  // namespace

double EllipsoidRadius(double latitudeRad)
{
    const double c = std::cos(latitudeRad);
    const double s = std::sin(latitudeRad);
    const double a2c = kEquatorialRadius2 * c;
    const double b2s = kPolarRadius2 * s;
    const double ac = kEquatorialRadius * c;
    const double bs = kPolarRadius * s;
    return std::sqrt((a2c * a2c + b2s * b2s) / (ac * ac + bs * bs));
}

Cartesian GeodeticToCartesian(double latitudeDeg, double longitudeDeg, double heightM)
{
    const double phi = toRadians(latitudeDeg);
    const double lambda = toRadians(longitudeDeg);
    const double r = EllipsoidRadius(phi) + heightM;
    return {r, r * std::cos(phi) * std::cos(lambda), r * std::cos(phi) * std::sin(lambda),
            r * std::sin(phi)};
}

ObserverFrame RotateToObserverFrame(double targetLatDeg, double targetLonDeg, double targetHeightM,
                                    double observerLatDeg, double observerLonDeg,
                                    double scaleRadiusM)
{
    const Cartesian p =
        GeodeticToCartesian(targetLatDeg, targetLonDeg - observerLonDeg, targetHeightM);
    const double k = scaleRadiusM / p.r;
    const double px = p.x * k;
    const double py = p.y * k;
    const double pz = p.z * k;
    const double alpha = toRadians(-observerLatDeg);
    return {px * std::cos(alpha) - pz * std::sin(alpha), py,
            px * std::sin(alpha) + pz * std::cos(alpha)};
}

LookAngles ComputeLookAngles(float observerLatDeg, float observerLonDeg, float observerHeightM,
                             float targetLatDeg, float targetLonDeg, float targetHeightM)
{
    // All arithmetic is in double precision; only the three results are stored as floats.
    const double observerLat = static_cast<double>(observerLatDeg);
    const double observerLon = static_cast<double>(observerLonDeg);
    const double targetLat = static_cast<double>(targetLatDeg);
    const double targetLon = static_cast<double>(targetLonDeg);
    const double targetHeight = static_cast<double>(targetHeightM);
    const Cartesian a = GeodeticToCartesian(observerLat, observerLon, static_cast<double>(observerHeightM));
    const Cartesian b = GeodeticToCartesian(targetLat, targetLon, targetHeight);
    const double dx = a.x - b.x;
    const double dy = a.y - b.y;
    const double dz = a.z - b.z;
    const double d = std::sqrt(dx * dx + dy * dy + dz * dz);

    LookAngles result;
    result.rangeKm = static_cast<float>(std::floor(d) * 0.001);

    const ObserverFrame t =
        RotateToObserverFrame(targetLat, targetLon, targetHeight, observerLat, observerLon, b.r);
    const double theta = toDegrees(std::atan2(t.z, t.y));
    result.azimuthDeg = static_cast<float>(90.0 - theta);
    if (result.azimuthDeg < 0.0f)
        result.azimuthDeg += 360.0f;
    result.elevationDeg =
        static_cast<float>(toDegrees(std::atan2(t.x - a.r, std::sqrt(t.y * t.y + t.z * t.z))));
    return result;
}

}  // namespace nimbra
