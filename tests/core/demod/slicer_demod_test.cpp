// Edge and Level slicers, run lengths, byte framing, automatic threshold, scope rings and the
// effect of switching demodulators. Values are worked by hand from the line format: a low run
// carries 1 bits, a high run 0 bits, and a run of N samples carries (N + 3) / 5 bits.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <memory>
#include <vector>

#include "demod/demod_type.h"
#include "support/demod_harness.h"
#include "support/signals.h"

using nimbra::testing::DemodHarness;

namespace {

constexpr float kHigh = 8000.0f;
constexpr float kLow = -8000.0f;
constexpr float kDeepLow = -20000.0f;  // falls far enough for Edge whatever came 3 samples before
constexpr double kTwoPi = 6.283185307179586;

void setUp(DemodHarness& t, int demodType, float threshold = 1000.0f)
{
    t.params.demodType = demodType;
    t.params.autoThreshold = 0;
    t.params.threshold = threshold;
    t.params.doFiltering = 0;
    t.params.invertSignal = 0;
}

void feedRun(DemodHarness& t, float level, int samples)
{
    for (int i = 0; i < samples; ++i)
        t.feed(level);
}

int lastDecision(DemodHarness& t)
{
    const int i = t.scope.writeIndex.load();
    return t.scope.decision[(i + nimbra::ScopeBuffer::kSize - 1) % nimbra::ScopeBuffer::kSize];
}

}  // namespace

TEST(DemodSlicer, Character0x24AtFiveSamplesPerBitIsHandedOverAtTheNextRise)
{
    for (int type : {nimbra::kEdgeDemod, nimbra::kLevelDemod}) {
        SCOPED_TRACE(type);
        auto harness = std::make_unique<DemodHarness>();
    DemodHarness& t = *harness;
        setUp(t, type);
        feedRun(t, kLow, 20);   // idle
        feedRun(t, kHigh, 15);  // start bit, data bits 0 and 1 (0, 0)
        feedRun(t, kLow, 5);    // bit 2 = 1
        feedRun(t, kHigh, 10);  // bits 3, 4
        feedRun(t, kLow, 5);    // bit 5 = 1
        feedRun(t, kHigh, 10);  // bits 6, 7
        feedRun(t, kLow, 30);   // stop bit, idle
        EXPECT_TRUE(t.characters.empty());
        EXPECT_EQ(t.demod.slicer.framer.state, nimbra::ByteFramer::kStopExpected);
        EXPECT_EQ(t.demod.slicer.framer.shiftRegister, 0x24);
        feedRun(t, kHigh, 3);
        ASSERT_EQ(t.characters, std::vector<int>{0x24});
        EXPECT_EQ(t.demod.slicer.framer.state, nimbra::ByteFramer::kIdle);
    }
}

TEST(DemodSlicer, RunLengthsGiveBitCounts)
{
    // A high run of N samples from idle feeds (N + 3) / 5 zero bits: a start bit, then data bits.
    const struct { int run; int bits; } cases[] = {{1, 0}, {2, 1}, {6, 1}, {7, 2}, {11, 2}, {12, 3}, {16, 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.run);
        auto harness = std::make_unique<DemodHarness>();
    DemodHarness& t = *harness;
        setUp(t, nimbra::kEdgeDemod);
        feedRun(t, kLow, 20);
        feedRun(t, kHigh, c.run);
        t.feed(kDeepLow);
        const nimbra::SlicerDemod& s = t.demod.slicer;
        EXPECT_EQ(s.state.level, 0);
        EXPECT_EQ(s.state.decision, -1);
        EXPECT_EQ(s.state.runLength, 0);
        if (c.bits == 0) {
            EXPECT_EQ(s.framer.state, nimbra::ByteFramer::kIdle);
        } else {
            EXPECT_EQ(s.framer.state, nimbra::ByteFramer::kData);
            EXPECT_EQ(s.framer.bitCount, c.bits - 1);
        }
        // The next run counts from that change.
        feedRun(t, kDeepLow, 4);
        EXPECT_EQ(t.demod.slicer.state.runLength, 4);
    }
}

TEST(DemodSlicer, LongRunsFinishOrStartCharactersAndOnlyCompleteOnAOne)
{
    auto harness = std::make_unique<DemodHarness>();
    DemodHarness& t = *harness;
    setUp(t, nimbra::kEdgeDemod);
    feedRun(t, kLow, 20);
    feedRun(t, kHigh, 15);  // start bit and two 0 data bits
    feedRun(t, kLow, 200);  // fills the other six data bits with 1s, stop bit, idle
    feedRun(t, kHigh, 200);  // a start bit and eight 0 bits: waits for its stop bit
    EXPECT_EQ(t.characters, std::vector<int>{0xFC});
    feedRun(t, kLow, 3);
    EXPECT_EQ(t.demod.slicer.framer.state, nimbra::ByteFramer::kStopExpected);
    feedRun(t, kHigh, 3);
    EXPECT_EQ(t.characters, (std::vector<int>{0xFC, 0x00}));
}

TEST(DemodSlicer, EdgeRuleComparesWithTheSampleThreeBackStrictly)
{
    {
        auto harness = std::make_unique<DemodHarness>();
    DemodHarness& t = *harness;
        setUp(t, nimbra::kEdgeDemod, 1000.0f);
        for (float s : {0.0f, 0.0f, 0.0f, 1000.0f})
            t.feed(s);
        EXPECT_EQ(t.demod.slicer.state.level, 0);
        EXPECT_EQ(lastDecision(t), 0);
    }
    auto harness = std::make_unique<DemodHarness>();
    DemodHarness& t = *harness;
    setUp(t, nimbra::kEdgeDemod, 1000.0f);
    for (float s : {0.0f, 0.0f, 0.0f})
        t.feed(s);
    EXPECT_EQ(t.demod.slicer.state.level, 0);
    t.feed(1001.0f);
    EXPECT_EQ(t.demod.slicer.state.level, 1);
    EXPECT_EQ(lastDecision(t), 1);
    EXPECT_EQ(t.demod.slicer.state.runLength, 0);
    for (float s : {1001.0f, 1001.0f, 1001.0f, 1.0f})  // 1 - 1001 = -1000: not below -1000
        t.feed(s);
    EXPECT_EQ(t.demod.slicer.state.level, 1);
    t.feed(0.0f);  // 0 - 1001
    EXPECT_EQ(t.demod.slicer.state.level, 0);
    EXPECT_EQ(lastDecision(t), -1);
}

TEST(DemodSlicer, LevelRuleNeedsTwoSamplesOnTheNewSide)
{
    auto harness = std::make_unique<DemodHarness>();
    DemodHarness& t = *harness;
    setUp(t, nimbra::kLevelDemod);
    t.feed(5.0f);
    EXPECT_EQ(t.demod.slicer.state.level, 0);  // the first sample alone does not change it
    t.feed(5.0f);
    ASSERT_EQ(t.demod.slicer.state.level, 1);
    for (float s : {5.0f, -5.0f, 5.0f})
        t.feed(s);
    EXPECT_EQ(t.demod.slicer.state.level, 1);
    t.feed(5.0f);
    t.feed(-5.0f);
    EXPECT_EQ(t.demod.slicer.state.level, 1);
    t.feed(-5.0f);
    EXPECT_EQ(t.demod.slicer.state.level, 0);
    // A previous sample of 0.7 is stored as 0, which is on neither side.
    t.feed(0.7f);
    t.feed(5.0f);
    EXPECT_EQ(t.demod.slicer.state.level, 0);
    t.feed(5.0f);
    EXPECT_EQ(t.demod.slicer.state.level, 1);
    t.feed(-0.7f);
    t.feed(-5.0f);
    EXPECT_EQ(t.demod.slicer.state.level, 1);
    t.feed(-5.0f);
    EXPECT_EQ(t.demod.slicer.state.level, 0);
}

TEST(DemodSlicer, AutomaticThresholdIs1225TimesTheRms)
{
    {
        auto harness = std::make_unique<DemodHarness>();
    DemodHarness& t = *harness;
        setUp(t, nimbra::kEdgeDemod);
        t.params.autoThreshold = 1;
        t.feed(1000.0f);
        // mean = float(0.000500000024 x 10^6) = 500.000031; float(float(sqrt) x 1.225)
        EXPECT_FLOAT_EQ(t.demod.slicer.state.mean, 500.0000305f);
        EXPECT_EQ(t.params.threshold.load(), 27.39183235168457f);
    }
    // Level does not use it but keeps it up to date.
    for (int type : {nimbra::kEdgeDemod, nimbra::kLevelDemod}) {
        auto harness = std::make_unique<DemodHarness>();
    DemodHarness& t = *harness;
        setUp(t, type);
        t.params.autoThreshold = 1;
        const double amplitude = 10000.0;
        for (int i = 0; i < 48000; ++i)
            t.feed(static_cast<float>(amplitude * std::sin(kTwoPi * 1000.0 * i / 48000.0)));
        EXPECT_NEAR(t.params.threshold.load(), 0.8662 * amplitude, 0.005 * amplitude);
    }
}

TEST(DemodSlicer, ScopeGetsTruncatedSamplesAndDecisionsAndWraps)
{
    auto harness = std::make_unique<DemodHarness>();
    DemodHarness& t = *harness;
    setUp(t, nimbra::kEdgeDemod, 1.0e9f);
    t.feed(-2.9f);
    EXPECT_EQ(t.scope.sample[0].load(), -2);
    for (int i = 1; i <= 3000; ++i)
        t.feed(static_cast<float>(i) + 0.5f);
    EXPECT_EQ(t.scope.sample[2999].load(), 2999);
    EXPECT_EQ(t.scope.sample[0].load(), 3000);
    EXPECT_EQ(t.scope.writeIndex.load(), 1);
    EXPECT_EQ(t.scope.decision[2999].load(), 0);  // no change yet
}

TEST(DemodSlicer, PatternModeWritesZeroDecisionsAndNothingWhileHeld)
{
    auto harness = std::make_unique<DemodHarness>();
    DemodHarness& t = *harness;
    setUp(t, nimbra::kEdgeDemod);
    feedRun(t, kLow, 10);
    feedRun(t, kHigh, 10);  // decision +1
    t.params.demodType = nimbra::kPatternDemod;
    t.feed(123.7f);
    EXPECT_EQ(t.scope.sample[20].load(), 123);
    EXPECT_EQ(t.scope.decision[20].load(), 0);
    t.scope.hold = 1;
    t.feed(-4444.0f);
    EXPECT_EQ(t.scope.writeIndex.load(), 21);
    EXPECT_EQ(t.scope.sample[21].load(), 0);
    t.scope.hold = 0;
    t.feed(-4444.0f);
    EXPECT_EQ(t.scope.sample[21].load(), -4444);
}

TEST(DemodSlicer, SwitchingDemodulatorsKeepsOrFreezesTheRun)
{
    {   // Edge to Level: the run in progress is measured across the change.
        auto harness = std::make_unique<DemodHarness>();
    DemodHarness& t = *harness;
        setUp(t, nimbra::kEdgeDemod);
        feedRun(t, kLow, 20);
        feedRun(t, kHigh, 4);  // Edge rises at the first of these
        t.params.demodType = nimbra::kLevelDemod;
        feedRun(t, kHigh, 3);
        feedRun(t, kLow, 2);  // Level falls at the second low sample: N = 3 + 3 + 2 = 8, two bits
        EXPECT_EQ(t.demod.slicer.state.level, 0);
        EXPECT_EQ(t.demod.slicer.framer.bitCount, 1);
    }
    {   // Pattern in between: slicer, mean, delay line and framer stand still.
        auto harness = std::make_unique<DemodHarness>();
    DemodHarness& t = *harness;
        setUp(t, nimbra::kEdgeDemod);
        t.params.autoThreshold = 1;
        feedRun(t, kLow, 2000);
        t.params.autoThreshold = 0;
        t.params.threshold = 1000.0f;
        feedRun(t, kHigh, 3);  // rise, then a run of 2
        const nimbra::SlicerState before = t.demod.slicer.state;
        t.params.demodType = nimbra::kPatternDemod;
        for (int i = 0; i < 100; ++i)
            t.feed(i % 2 ? kDeepLow : kHigh);
        const nimbra::SlicerState& frozen = t.demod.slicer.state;
        EXPECT_EQ(frozen.runLength, before.runLength);
        EXPECT_EQ(frozen.mean, before.mean);
        EXPECT_EQ(frozen.x1, before.x1);
        EXPECT_EQ(frozen.x3, before.x3);
        t.params.demodType = nimbra::kEdgeDemod;
        feedRun(t, kHigh, 2);
        t.feed(kDeepLow);  // N = 2 + 2 + 1 = 5: one bit, the start bit
        EXPECT_EQ(t.demod.slicer.state.level, 0);
        EXPECT_EQ(t.demod.slicer.framer.state, nimbra::ByteFramer::kData);
        EXPECT_EQ(t.demod.slicer.framer.bitCount, 0);
    }
    {   // A type without a slicing rule never changes the level but still counts and scopes.
        auto harness = std::make_unique<DemodHarness>();
    DemodHarness& t = *harness;
        setUp(t, 7);  // no demodulator has this number
        for (int i = 0; i < 50; ++i)
            t.feed(i % 10 < 5 ? kDeepLow : kHigh);
        EXPECT_EQ(t.demod.slicer.state.level, 0);
        EXPECT_EQ(t.demod.slicer.state.runLength, 50);
        EXPECT_EQ(t.scope.sample[49].load(), static_cast<int>(kHigh));
        EXPECT_TRUE(t.characters.empty());
    }
}

TEST(DemodSlicer, RunLengthSaturatesAndAHugeRunStillFinishesTheCharacter)
{
    auto harness = std::make_unique<DemodHarness>();
    DemodHarness& t = *harness;
    setUp(t, nimbra::kEdgeDemod);
    nimbra::SlicerDemod& s = t.demod.slicer;
    s.state.runLength = INT_MAX - 6;
    s.framer.state = nimbra::ByteFramer::kData;  // three 0 data bits received
    s.framer.bitCount = 3;
    s.framer.shiftRegister = 0;
    feedRun(t, kLow, 10);
    EXPECT_EQ(s.state.runLength, INT_MAX - 3);
    EXPECT_EQ(s.state.level, 0);
    feedRun(t, kHigh, 1);  // five 1 data bits, the stop bit, then idle
    EXPECT_EQ(t.characters, std::vector<int>{0xF8});
    EXPECT_EQ(s.framer.state, nimbra::ByteFramer::kIdle);
    EXPECT_EQ(s.state.runLength, 0);
}

TEST(DemodSlicer, AnyFloatIsAcceptedAndStoredSaturated)
{
    auto harness = std::make_unique<DemodHarness>();
    DemodHarness& t = *harness;
    setUp(t, nimbra::kEdgeDemod);
    t.feed(3.0e9f);
    t.feed(-3.0e9f);
    t.feed(NAN);
    EXPECT_EQ(t.scope.sample[0].load(), INT_MAX);
    EXPECT_EQ(t.scope.sample[1].load(), INT_MIN);
    EXPECT_EQ(t.scope.sample[2].load(), 0);
}
