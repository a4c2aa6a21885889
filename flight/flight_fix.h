// FlightFix: an accepted fix as everything after the decoder sees it: the text line and files,
// CSV and JSON Lines, the track files, the network outputs and the desktop program's views.
//
// In:  the decoder's record of the fix and its decoded-text line.
// Out: the same, with what the flight tracking adds: whether the fix belongs to the flight's
//      continuous track (trusted), the flight phase, and the latest landing prediction.
//
// Fixes are made once per block (about one a second), off the per-sample path: the line and the
// predicted path may allocate.
#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "telemetry/fix_record.h"

namespace nimbra {

enum class FlightPhase { Unknown, Ascent, Burst, Descent, Landed };

// Why a fix is or is not trusted (see flight/continuity_check.h).
enum class FixCheck {
    Trusted,
    Duplicate,   // repeats the last trusted fix, or carries its counter again
    Acquiring,   // no recent trusted fix: waiting for fixes that agree with one another
    Identifier,  // another identifier than the flight's
    Counter,     // the time counter does not follow the time
    Motion,      // a move faster, or farther from the motion so far, than a sonde can make
    Unchecked,   // the check is off (or not run): every fix is trusted
};

// A point of a predicted path.
struct PredictedPoint {
    double latitude = 0.0;   // degrees
    double longitude = 0.0;  // degrees
    double altitude = 0.0;   // metres
    std::int64_t timeMs = 0; // ms since 1970-01-01 UTC
};

struct LandingPrediction {
    bool valid = false;
    PredictedPoint landing;            // where and when the sonde comes down
    std::vector<PredictedPoint> path;  // from the fix to the landing
    // The burst: where the ascent is expected to end, or, once seen, the highest point reached.
    PredictedPoint burst;
    bool burstObserved = false;
    double ascentRateMps = 0.0;   // the rate the prediction climbs at (0 after the burst)
    double descentRateMps = 0.0;  // the parachute's sea-level descent rate it assumes
};

struct FlightFix {
    FixRecord record;  // record.line is not kept; see `line`
    std::string line;  // the decoded-text line without its carriage return
    int satellites = -1;  // satellite records in the fix's GPS block; -1 when not known
    // False when the fix breaks the flight's continuity (identifier, time counter, motion) or
    // repeats the previous one; track files, network outputs, views and the prediction take
    // trusted fixes only. Lines and record files show every fix with a good checksum.
    bool trusted = true;
    FlightPhase phase = FlightPhase::Unknown;
    // The latest prediction after this fix (an untrusted fix leaves it as it was).
    LandingPrediction prediction;
    FixCheck check = FixCheck::Unchecked;  // why it is or is not trusted
    // Where an SDR heard the sonde: its channel (0 for receiver audio), the channel's frequency
    // against the tuning, Hz, and the frequency itself when the tuning is known; NaN when not.
    int channel = 0;
    double offsetHz = std::numeric_limits<double>::quiet_NaN();
    double frequencyHz = std::numeric_limits<double>::quiet_NaN();
};

// The FlightFix of a fix record as the decoder's fix listener receives it: the line copied out of
// the record (whose pointer lives only during the call), the flight values at their defaults.
inline FlightFix flightFixOf(const FixRecord& record, int satellites)
{
    FlightFix fix;
    fix.record = record;
    fix.line = record.line ? std::string(record.line) : std::string();
    fix.record.line = nullptr;
    fix.satellites = satellites;
    return fix;
}

}  // namespace nimbra
