// Motion of the radiosonde between two accepted fixes: smoothed ascent rate, ground speed and
// direction of travel.
//
// In:  the current fix (latitude, longitude, altitude, timeCounter of TelemetryState) and
//      previousFix, the last accepted one.
// Out: ascent (m/s), velocity (m/s), direction (degrees 0..360) in TelemetryState; each is
//      0.1 × new + 0.9 × old, so the first values after start climb towards the true rates.
// previousFix is left for the caller to replace.
#pragma once

#include "telemetry/telemetry_state.h"

namespace nimbra {

void updateMotion(TelemetryState& telemetry);

// One step of the direction filter, on the circle: the new bearing is taken within 180 degrees
// of the old direction, so 350 and a bearing of 10 give 352 rather than 316. Result in [0, 360).
float smoothDirection(float direction, float bearing);

}  // namespace nimbra
