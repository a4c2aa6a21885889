// Fix sequence: a planned flight as the decoder would report it, without audio, for the flight
// tracker's tests and the prediction benchmark (a two-hour flight in milliseconds).
//
// In:  the planned blocks (one a second) and the time of the first block.
// Out: one FixRecord per block sent, with the values the decoder would hold (32-bit floats of
//      the raw fields), its line time and sample index, and the sample time in seconds. Blocks
//      can be dropped at random (a weak signal) with a seed.
#pragma once

#include <cstdint>
#include <vector>

#include "telemetry/fix_record.h"
#include "synth/flight_plan.h"

namespace nimbra::synth {

struct TimedFix {
    FixRecord record;
    double timeS = 0.0;  // sample time of the block's end, as FixRecord::sampleIndex / 48000
};

// The block of second i ends at firstEndS + i.
std::vector<TimedFix> fixSequence(const std::vector<PlannedBlock>& plan, std::int64_t startMs,
                                  double firstEndS = 0.9, double lossFraction = 0.0, std::uint64_t seed = 1);

}  // namespace nimbra::synth
