#include "flight/landing_predictor.h"

#include <cmath>

#include "flight/atmosphere.h"
#include "flight/local_plane.h"

namespace nimbra::flight {

namespace {

// The sonde being flown forward: metres east and north of the start, so that a step is two
// additions; positions are worked out only for the path points.
struct Flier {
    double startLatitude;
    double startLongitude;
    double eastM;
    double northM;
    double altitude;
    double timeS;  // seconds after the start
};

PredictedPoint pointOf(const Flier& f, std::int64_t startMs)
{
    double lat = f.startLatitude;
    double lon = f.startLongitude;
    moveBy(lat, lon, f.eastM, f.northM);
    return {lat, lon, f.altitude, startMs + static_cast<std::int64_t>(std::llround(f.timeS * 1000.0))};
}

// Flies from the flier's altitude to `target` (up or down) at rate(h) m/s, adding path points
// every pathStepM. False when the flight would last too long.
template <typename Rate>
bool fly(Flier& f, double target, Rate rate, const WindProfile& winds, const PredictionSteps& steps,
         std::int64_t startMs, LandingPrediction& out)
{
    const double direction = target >= f.altitude ? 1.0 : -1.0;
    double sincePoint = 0.0;
    while ((target - f.altitude) * direction > 0.0) {
        const double left = (target - f.altitude) * direction;
        const double dz = left < steps.stepM ? left : steps.stepM;
        const double middle = f.altitude + 0.5 * dz * direction;
        const double dt = dz / rate(middle);
        const Wind w = winds.at(middle);
        f.eastM += w.eastMps * dt;
        f.northM += w.northMps * dt;
        f.altitude = dz < steps.stepM ? target : f.altitude + dz * direction;
        f.timeS += dt;
        if (f.timeS > kMaxFlightS)
            return false;
        sincePoint += dz;
        if (sincePoint >= steps.pathStepM) {
            out.path.push_back(pointOf(f, startMs));
            sincePoint = 0.0;
        }
    }
    if (sincePoint > 0.0)
        out.path.push_back(pointOf(f, startMs));
    return true;
}

}  // namespace

LandingPrediction predictLanding(const PredictionStart& s, const WindProfile& winds, const PredictionSteps& steps)
{
    LandingPrediction out;
    out.descentRateMps = s.descentRateMps;
    if (!std::isfinite(s.latitude) || !std::isfinite(s.longitude) || !std::isfinite(s.altitude) ||
        !(s.descentRateMps >= kMinDescentMps) || !(steps.stepM > 0.0))
        return out;
    Flier f{s.latitude, s.longitude, 0.0, 0.0, s.altitude, 0.0};
    out.path.push_back(pointOf(f, s.timeMs));
    if (s.ascending) {
        if (!(s.ascentRateMps >= kMinAscentMps))
            return LandingPrediction{};
        out.ascentRateMps = s.ascentRateMps;
        const double rate = s.ascentRateMps;
        if (!fly(f, std::fmax(s.burstAltitudeM, s.altitude), [rate](double) { return rate; }, winds, steps,
                 s.timeMs, out))
            return LandingPrediction{};
        out.burst = pointOf(f, s.timeMs);
    }
    const double v0 = s.descentRateMps;
    if (f.altitude > s.groundAltitudeM &&
        !fly(f, s.groundAltitudeM, [v0](double h) { return v0 * descentFactor(h); }, winds, steps, s.timeMs, out))
        return LandingPrediction{};
    out.landing = pointOf(f, s.timeMs);
    out.valid = true;
    return out;
}

}  // namespace nimbra::flight
