#include "telemetry/motion.h"

#include "telemetry/geometry.h"

namespace nimbra {

namespace {

constexpr float kNewWeight = 0.1f;
constexpr float kOldWeight = 0.9f;

}  // namespace

float smoothDirection(float direction, float bearing)
{
    float unwrapped = bearing;
    if (unwrapped - direction > 180.0f)
        unwrapped -= 360.0f;
    else if (unwrapped - direction <= -180.0f)
        unwrapped += 360.0f;
    float result = kNewWeight * unwrapped + kOldWeight * direction;
    if (result < 0.0f)
        result += 360.0f;
    if (result >= 360.0f)
        result -= 360.0f;
    return result;
}

void updateMotion(TelemetryState& t)
{
    const PreviousFix p = t.previousFix;
    const int counter = t.timeCounter;
    // A repeated or wrapped counter gives no usable time step; the next fix starts afresh.
    if (p.timeCounter <= 0 || counter <= p.timeCounter)
        return;
    const int dt = counter - p.timeCounter;

    const float altitude = t.altitude;
    if (p.altitude > 0.0f) {
        const float rate = static_cast<float>(
            (static_cast<double>(altitude) - static_cast<double>(p.altitude)) / dt);
        t.ascent = kNewWeight * rate + kOldWeight * t.ascent;
    }

    const float latitude = t.latitude;
    const float longitude = t.longitude;
    if (latitude != p.latitude || longitude != p.longitude) {
        const LookAngles step =
            ComputeLookAngles(p.latitude, p.longitude, 0.0f, latitude, longitude, 0.0f);
        const float metres = static_cast<float>(static_cast<double>(step.rangeKm) * 1000.0);
        const float speed = static_cast<float>(static_cast<double>(metres) / dt);
        t.velocity = kNewWeight * speed + kOldWeight * t.velocity;
        t.direction = smoothDirection(t.direction, step.azimuthDeg);
    }
}

}  // namespace nimbra
