// The recording's own clock: each fix record carries the samples the decoder had consumed when
// the fix's block finished, which the flight tracker compares with the sonde's time counter.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "decoder/decoder.h"
#include "demod/demod_type.h"
#include "synth/synthesize.h"

namespace {

using namespace nimbra;

TEST(DecoderSampleIndex, FixesCarryTheSampleTimeOfTheirBlockEnd)
{
    synth::FlightSettings flight;
    flight.gpsBlocks = 8;
    synth::AudioChannelSettings audio;
    const synth::Recording rec = synth::synthesizeFlight(flight, audio);
    for (int demod : {kEdgeDemod, kSyncDemod}) {
        SCOPED_TRACE(demod);
        auto d = std::make_unique<Decoder>();
        d->params.demodType = demod;
        std::vector<std::int64_t> indices;
        d->setFixListener([&](const FixRecord& r) { indices.push_back(r.sampleIndex); });
        // In uneven pieces, as audio arrives.
        for (std::size_t at = 0; at < rec.samples.size(); at += 7919)
            d->ProcessSamples(rec.samples.data() + at, std::min<std::size_t>(7919, rec.samples.size() - at));
        ASSERT_EQ(indices.size(), rec.flight.fixes.size());
        for (std::size_t i = 0; i < indices.size(); ++i) {
            const double end = rec.flight.fixes[i].endTimeS * 48000.0;
            if (demod == kSyncDemod) {
                // Within a few bits of the block's last bit.
                EXPECT_NEAR(static_cast<double>(indices[i]), end, 60.0) << i;
            } else if (i > 0) {
                // The slicers hand over a block's last character at the line's next change: on
                // a clean recording the start of the next block, a constant delay.
                const double previousEnd = rec.flight.fixes[i - 1].endTimeS * 48000.0;
                EXPECT_NEAR(static_cast<double>(indices[i] - indices[i - 1]), end - previousEnd, 60.0) << i;
            }
        }
    }
}

}  // namespace
