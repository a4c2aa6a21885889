#include "synth/fix_sequence.h"

#include <cmath>

#include "synth/flight.h"
#include "synth/random.h"

namespace nimbra::synth {

std::vector<TimedFix> fixSequence(const std::vector<PlannedBlock>& plan, std::int64_t startMs, double firstEndS,
                                  double lossFraction, std::uint64_t seed)
{
    Random random(seed * 0xD1B54A32D192ED03ull + 0x4C4F5353ull);
    std::vector<TimedFix> out;
    out.reserve(plan.size());
    for (std::size_t i = 0; i < plan.size(); ++i) {
        const PlannedBlock& b = plan[i];
        if (!b.sent || (lossFraction > 0.0 && random.uniform() < lossFraction))
            continue;
        TimedFix f;
        f.timeS = firstEndS + static_cast<double>(i);
        FixRecord& r = f.record;
        r.timeMs = startMs + static_cast<std::int64_t>(std::llround(f.timeS * 1000.0));
        r.transmitterId = b.transmitterId;
        r.timeCounter = b.timeCounter;
        r.latitude = static_cast<float>(rawToDegrees(b.latitudeRaw));
        r.longitude = static_cast<float>(rawToDegrees(b.longitudeRaw));
        r.altitude = static_cast<float>(b.altitudeMm / 1000.0);
        r.sampleIndex = static_cast<std::int64_t>(std::llround(f.timeS * 48000.0));
        out.push_back(f);
    }
    return out;
}

}  // namespace nimbra::synth
