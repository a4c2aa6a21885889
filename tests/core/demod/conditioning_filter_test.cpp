// The conditioning filter: its exact first outputs (worked in single precision by hand), its gain
// at 0 Hz and above 500 Hz, and its state across switching it off and on.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>

#include "demod/demod_type.h"
#include "support/demod_harness.h"
#include "support/signals.h"

using nimbra::testing::DemodHarness;

namespace {

constexpr double kTwoPi = 6.283185307179586;

void setUp(DemodHarness& t)
{
    t.params.demodType = nimbra::kLevelDemod;
    t.params.autoThreshold = 0;
    t.params.doFiltering = 1;
}

}  // namespace

TEST(DemodFilter, FirstOutputsOfAnImpulse)
{
    // 32768 scales to t = 1: y = float(float(4.0980487) / 4.0052376) x 32678 = 33435.2266, then
    // 1540.8167 and 1593.7188 as the recursion and the two older inputs take over.
    auto harness = std::make_unique<DemodHarness>();
    DemodHarness& t = *harness;
    setUp(t);
    for (float s : {32768.0f, 0.0f, 0.0f})
        t.feed(s);
    EXPECT_EQ(t.scope.sample[0].load(), 33435);
    EXPECT_EQ(t.scope.sample[1].load(), 1540);
    EXPECT_EQ(t.scope.sample[2].load(), 1593);
    EXPECT_EQ(static_cast<float>(t.demod.filter.y1 * 32678.0), 1593.71875f);
}

TEST(DemodFilter, InversionComesFirst)
{
    auto harness = std::make_unique<DemodHarness>();
    DemodHarness& t = *harness;
    setUp(t);
    t.params.invertSignal = 1;
    t.feed(-32768.0f);
    EXPECT_EQ(t.scope.sample[0].load(), 33435);
}

TEST(DemodFilter, GainIs186AtZeroHertzAndAboutOneAbove500Hertz)
{
    {
        // (b0 + b1 + b2) / (a0 + a1 + a2) = 186.31, and the output scale is 32678/32768.
        auto harness = std::make_unique<DemodHarness>();
    DemodHarness& t = *harness;
        setUp(t);
        for (int i = 0; i < 30000; ++i)
            t.feed(100.0f);
        const double expected = 100.0 * 186.31 * 32678.0 / 32768.0;
        EXPECT_NEAR(t.scope.sample[(30000 - 1) % 3000].load(), expected, 0.002 * expected);
    }
    for (double hz : {700.0, 1000.0, 4800.0, 12000.0}) {
        SCOPED_TRACE(hz);
        auto harness = std::make_unique<DemodHarness>();
    DemodHarness& t = *harness;
        setUp(t);
        for (int i = 0; i < 30000; ++i)
            t.feed(static_cast<float>(10000.0 * std::sin(kTwoPi * hz * i / 48000.0)));
        int peak = 0;
        for (int k = 0; k < 3000; ++k)
            peak = std::max(peak, std::abs(t.scope.sample[k].load()));
        // Within 0.5 dB of unity, on the 0.27 % lower output scale.
        EXPECT_GT(peak, 10000.0 * 0.9441 * 0.99725);
        EXPECT_LT(peak, 10000.0 * 1.0593 * 0.99725 + 1.0);
    }
}

TEST(DemodFilter, SwitchedOffTheStateWaitsAndOnAgainItResumes)
{
    auto harness = std::make_unique<DemodHarness>();
    DemodHarness& t = *harness;
    setUp(t);
    t.feed(32768.0f);
    t.params.doFiltering = 0;
    t.feed(555.0f);  // passes unfiltered
    EXPECT_EQ(t.scope.sample[1].load(), 555);
    t.params.doFiltering = 1;
    t.feed(0.0f);  // the second output of the impulse
    EXPECT_EQ(t.scope.sample[2].load(), 1540);
}
