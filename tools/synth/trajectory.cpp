#include "synth/trajectory.h"

#include <cmath>

#include "flight/atmosphere.h"
#include "flight/local_plane.h"
#include "synth/random.h"

namespace nimbra::synth {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kStepS = 0.1;
constexpr int kStepsPerFix = 10;
constexpr double kMaxFlightS = 24.0 * 3600.0;

// A first-order random process (Ornstein-Uhlenbeck): standard deviation sigma, correlation time
// tau, advanced in steps of dt.
class SlowNoise {
public:
    SlowNoise(double sigma, double tau, Random& random) : sigma_(sigma), tau_(tau), random_(random)
    {
        value_ = sigma * random.gaussian();
    }
    double step(double dt)
    {
        const double a = std::exp(-dt / tau_);
        value_ = a * value_ + sigma_ * std::sqrt(1.0 - a * a) * random_.gaussian();
        return value_;
    }
    double value() const { return value_; }

private:
    double sigma_, tau_;
    Random& random_;
    double value_ = 0.0;
};

struct State {
    double latitude, longitude, altitude;
    double vEast = 0.0, vNorth = 0.0, vUp = 0.0;
};

}  // namespace

Trajectory flyTrajectory(const TrajectorySettings& s, const WindField& wind)
{
    Random random(s.seed * 0x9E3779B97F4A7C15ull + 0x54524A4Bull);
    SlowNoise gustEast(0.7, 20.0, random), gustNorth(0.7, 20.0, random), lift(0.3, 60.0, random);
    SlowNoise rateWobble(0.02, 60.0, random);
    SlowNoise gpsEast(2.0, 5.0, random), gpsNorth(2.0, 5.0, random), gpsUp(4.0, 5.0, random);
    // This flight's atmosphere: density = standard x (1 + deviation(h)), the deviation growing to
    // up to +-10 % at 30 km (about the range between a mid-latitude winter and summer there).
    const double deviationAt30Km = (random.uniform() - 0.5) * 0.2;
    const double deviationRipple = 0.02 * random.uniform();
    const double ripplePhase = 2.0 * kPi * random.uniform();
    const auto densityDeviation = [&](double h) {
        return deviationAt30Km * std::fmin(h, 40000.0) / 30000.0 +
               deviationRipple * std::sin(2.0 * kPi * h / 7000.0 + ripplePhase);
    };
    const double swingPhase = 2.0 * kPi * random.uniform();
    const double swingTurn = 2.0 * kPi * random.uniform();

    Trajectory out;
    State st{s.launchLatitude, s.launchLongitude, s.launchAltitudeM};
    const Wind w0 = wind.at(st.altitude, 0.0);
    st.vEast = w0.eastMps;
    st.vNorth = w0.northMps;
    bool burst = false;
    bool landed = false;
    double landedAtS = 0.0;

    const auto report = [&](double t) {
        TrajectoryPoint p{t, st.latitude, st.longitude, st.altitude};
        if (s.scatter) {
            // The swing: about 2 m around the balloon, turning slowly; none once on the ground.
            const double swing = landed ? 0.0 : 2.0 * std::sin(2.0 * kPi * t / 11.0 + swingPhase);
            const double heading = swingTurn + t / 300.0;
            flight::moveBy(p.latitude, p.longitude, swing * std::sin(heading) + gpsEast.value(),
                           swing * std::cos(heading) + gpsNorth.value());
            p.altitude += gpsUp.value();
        }
        out.points.push_back(p);
    };

    for (long step = 0;; ++step) {
        const double t = step * kStepS;
        if (step % kStepsPerFix == 0) {
            report(t);
            if (landed && t - landedAtS >= s.afterLandingS)
                break;
        }
        gpsEast.step(kStepS);
        gpsNorth.step(kStepS);
        gpsUp.step(kStepS);
        if (landed)
            continue;

        // Vertical: the target speed and how fast the sonde settles on it.
        double targetUp, settleS;
        if (!burst) {
            targetUp = s.ascentRateMps * (1.0 + 0.1 * st.altitude / 30000.0) + lift.step(kStepS);
            settleS = 2.0;
        } else {
            const double density = 1.0 + densityDeviation(st.altitude);
            targetUp = -s.descentRateMps * flight::descentFactor(st.altitude) / std::sqrt(density) *
                       (1.0 + rateWobble.step(kStepS));
            settleS = 3.0;
        }
        st.vUp += (targetUp - st.vUp) * (1.0 - std::exp(-kStepS / settleS));
        const Wind w = wind.at(st.altitude, t);
        const double k = 1.0 - std::exp(-kStepS / 3.0);
        st.vEast += (w.eastMps + gustEast.step(kStepS) - st.vEast) * k;
        st.vNorth += (w.northMps + gustNorth.step(kStepS) - st.vNorth) * k;

        double dt = kStepS;
        if (burst && st.vUp < 0.0 && st.altitude + st.vUp * dt <= s.groundAltitudeM) {
            // The part of the step down to the ground.
            dt = std::fmax(0.0, (s.groundAltitudeM - st.altitude) / st.vUp);
            landed = true;
        }
        flight::moveBy(st.latitude, st.longitude, st.vEast * dt, st.vNorth * dt);
        st.altitude = landed ? s.groundAltitudeM : st.altitude + st.vUp * dt;
        if (landed) {
            landedAtS = t + dt;
            out.landing = {landedAtS, st.latitude, st.longitude, st.altitude};
            st.vEast = st.vNorth = st.vUp = 0.0;
        }
        if (!burst && st.altitude >= s.burstAltitudeM) {
            burst = true;
            out.burst = {t + kStepS, st.latitude, st.longitude, st.altitude};
        }
        if (t > kMaxFlightS)
            break;  // settings that never come down (checked by the callers)
    }
    return out;
}

}  // namespace nimbra::synth
