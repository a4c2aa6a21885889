#include "station/rotator_policy.h"

#include <algorithm>
#include <cmath>

namespace nimbra::station {

namespace {

constexpr double kRadians = 3.14159265358979323846 / 180.0;

}  // namespace

double separationDeg(const Pointing& a, const Pointing& b)
{
    const double e1 = a.elevation * kRadians, e2 = b.elevation * kRadians;
    const double c = std::sin(e1) * std::sin(e2) + std::cos(e1) * std::cos(e2) * std::cos((a.azimuth - b.azimuth) * kRadians);
    return std::acos(std::clamp(c, -1.0, 1.0)) / kRadians;
}

std::optional<Pointing> RotatorPolicy::decide(double nowS, const std::optional<Pointing>& target, double targetTimeS)
{
    if (nowS - lastSentS_ < settings_.intervalS)
        return std::nullopt;
    if (target)
        lastTargetS_ = std::max(lastTargetS_, targetTimeS);
    const bool home = settings_.homeAfterS > 0.0 && everSent_ && nowS - lastTargetS_ >= settings_.homeAfterS;
    if (home || !target) {
        // No fix for a while: home once, if a home is set (and there was a flight to come from).
        if (home && !homed_) {
            homed_ = true;
            return Pointing{settings_.homeAzimuth, settings_.azimuthOnly ? 0.0 : settings_.homeElevation};
        }
        return std::nullopt;
    }
    homed_ = false;
    Pointing p = *target;
    p.azimuth = std::fmod(std::fmod(p.azimuth, 360.0) + 360.0, 360.0);
    p.elevation = settings_.azimuthOnly ? 0.0 : std::clamp(p.elevation, 0.0, 90.0);
    if (lastSent_) {
        const double away = settings_.azimuthOnly ? std::fabs(std::remainder(p.azimuth - lastSent_->azimuth, 360.0))
                                                  : separationDeg(p, *lastSent_);
        if (away <= settings_.thresholdDeg)
            return std::nullopt;
    }
    return p;
}

void RotatorPolicy::sent(const Pointing& p, double nowS)
{
    lastSent_ = p;
    lastSentS_ = nowS;
    everSent_ = true;
}

}  // namespace nimbra::station
