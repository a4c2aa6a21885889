// FixStage: what happens to the fix of each finished GPS block that is to be shown (a good
// block, or any block while bad blocks are shown).
//
// In:  the GPS fields of TelemetryState (written as the block arrived, gps_block.h),
//      previousFix and the PTU texts; the settings below; the clock; where the block came from.
// Out: accept or reject. An accepted fix updates the last-accepted-fix values (hemisphere split,
//      range, azimuth, elevation), makes its decoded-text line (decoded_line.h), updates ascent,
//      velocity and direction (motion.h) and becomes previousFix; the FixRecord describes it.
//      A rejected fix changes nothing.
//
// The range criterion of the plausibility test takes this fix's own range, so the look angles
// come first and are stored only once the fix is accepted: testing the previous fix's range
// instead would let one distant fix reject every later one.
#pragma once

#include <cstdint>
#include <limits>
#include <functional>

#include "telemetry/decoded_line.h"
#include "telemetry/fix_record.h"
#include "telemetry/telemetry_state.h"

namespace nimbra {

struct FixSettings {
    bool rejectBogus = false;   // plausibility test on
    float maxRangeKm = 250.0f;  // its range limit
    float stationLat = 0.0f;    // degrees, north positive
    float stationLon = 0.0f;    // degrees, east positive
    float stationAlt = 0.0f;    // metres
    bool appendPsu = false;          // psuText at the end of the line
    bool appendCalibration = false;  // calibrationText after it
};

// Where the fix's block came from, for the FixRecord.
struct FixOrigin {
    bool crcGood = true;
    int bitsRepaired = 0;
    std::int64_t sampleIndex = 0;
    float ebN0Db = std::numeric_limits<float>::quiet_NaN();
};

class FixStage {
public:
    // Milliseconds since 1970-01-01 UTC, read once per accepted fix for its time stamp.
    using Clock = std::function<std::int64_t()>;

    // Returns the record of the accepted fix (its line in this stage, valid until the next
    // call), or nullptr when the plausibility test rejected it.
    const FixRecord* update(TelemetryState& telemetry, const FixSettings& settings,
                            const FixOrigin& origin, const Clock& clock);

private:
    FixRecord record_;
    char line_[kDecodedLineSize] = {};
};

}  // namespace nimbra
