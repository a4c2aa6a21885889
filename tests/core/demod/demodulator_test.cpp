// The demodulator front as a whole: every demodulator, stopped halfway through a flight and
// reset, decodes the flight as a fresh one does, and counts samples from zero again.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "demod/demod_type.h"
#include "support/demod_harness.h"
#include "synth/synthesize.h"

namespace nimbra {
namespace {

using testing::DemodHarness;

TEST(Demodulator, ResetGivesTheStateAtStart)
{
    synth::FlightSettings flight;
    flight.gpsBlocks = 3;
    synth::AudioChannelSettings audio;
    audio.ebN0Db = 18.0;
    const synth::Recording rec = synth::synthesizeFlight(flight, audio);
    const auto scopeOf = [](const DemodHarness& h) {
        std::vector<int> v;
        for (int i = 0; i < ScopeBuffer::kSize; ++i)
            v.push_back(h.scope.sample[i].load());
        return v;
    };
    for (int demod : {kEdgeDemod, kLevelDemod, kPatternDemod, kSyncDemod}) {
        for (int filter : {0, 1}) {
            SCOPED_TRACE(::testing::Message() << demod << " filter " << filter);
            const auto run = [&](DemodHarness& h) {
                h.params.demodType = demod;
                h.params.invertSignal = demod == kPatternDemod ? 1 : 0;
                h.params.doFiltering = filter;
                h.scope.writeIndex = 0;
                h.scope.hold = 0;
                h.demod.process(rec.samples.data(), rec.samples.size());
            };
            auto fresh = std::make_unique<DemodHarness>();
            run(*fresh);
            if (filter == 0) {
                ASSERT_GE(fresh->characters.size(), 200u);
            }

            auto reused = std::make_unique<DemodHarness>();
            run(*reused);
            reused->demod.reset();
            reused->characters.clear();
            reused->sampleIndex.clear();
            EXPECT_EQ(reused->demod.samplesConsumed(), 0);
            run(*reused);
            EXPECT_EQ(reused->characters, fresh->characters);
            EXPECT_EQ(reused->sampleIndex, fresh->sampleIndex);
            EXPECT_EQ(scopeOf(*reused), scopeOf(*fresh));
        }
    }
}

}  // namespace
}  // namespace nimbra
