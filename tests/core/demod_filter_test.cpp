// The conditioning filter: its exact first outputs (worked in single precision by hand), its gain
// at 0 Hz and above 500 Hz, and its state across switching it off and on.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "tests/core/demod_test_support.h"

using demodtest::TappedDecoder;

namespace {

constexpr double kTwoPi = 6.283185307179586;

void setUp(TappedDecoder& t)
{
    t.d->params.demodType = 1;
    t.d->params.autoThreshold = 0;
    t.d->params.doFiltering = 1;
}

}  // namespace

TEST(DemodFilter, FirstOutputsOfAnImpulse)
{
    // 32768 scales to t = 1: y = float(float(4.0980487) / 4.0052376) x 32678 = 33435.2266, then
    // 1540.8167 and 1593.7188 as the recursion and the two older inputs take over.
    TappedDecoder t;
    setUp(t);
    for (float s : {32768.0f, 0.0f, 0.0f})
        t.feed(s);
    EXPECT_EQ(t.d->scope.sample[0].load(), 33435);
    EXPECT_EQ(t.d->scope.sample[1].load(), 1540);
    EXPECT_EQ(t.d->scope.sample[2].load(), 1593);
    EXPECT_EQ(static_cast<float>(t.state().filter.y1 * 32678.0), 1593.71875f);
}

TEST(DemodFilter, InversionComesFirst)
{
    TappedDecoder t;
    setUp(t);
    t.d->params.invertSignal = 1;
    t.feed(-32768.0f);
    EXPECT_EQ(t.d->scope.sample[0].load(), 33435);
}

TEST(DemodFilter, GainIs186AtZeroHertzAndAboutOneAbove500Hertz)
{
    {
        // (b0 + b1 + b2) / (a0 + a1 + a2) = 186.31, and the output scale is 32678/32768.
        TappedDecoder t;
        setUp(t);
        for (int i = 0; i < 30000; ++i)
            t.feed(100.0f);
        const double expected = 100.0 * 186.31 * 32678.0 / 32768.0;
        EXPECT_NEAR(t.d->scope.sample[(30000 - 1) % 3000].load(), expected, 0.002 * expected);
    }
    for (double hz : {700.0, 1000.0, 4800.0, 12000.0}) {
        SCOPED_TRACE(hz);
        TappedDecoder t;
        setUp(t);
        for (int i = 0; i < 30000; ++i)
            t.feed(static_cast<float>(10000.0 * std::sin(kTwoPi * hz * i / 48000.0)));
        int peak = 0;
        for (int k = 0; k < 3000; ++k)
            peak = std::max(peak, std::abs(t.d->scope.sample[k].load()));
        // Within 0.5 dB of unity, on the 0.27 % lower output scale.
        EXPECT_GT(peak, 10000.0 * 0.9441 * 0.99725);
        EXPECT_LT(peak, 10000.0 * 1.0593 * 0.99725 + 1.0);
    }
}

TEST(DemodFilter, SwitchedOffTheStateWaitsAndOnAgainItResumes)
{
    TappedDecoder t;
    setUp(t);
    t.feed(32768.0f);
    t.d->params.doFiltering = 0;
    t.feed(555.0f);  // passes unfiltered
    EXPECT_EQ(t.d->scope.sample[1].load(), 555);
    t.d->params.doFiltering = 1;
    t.feed(0.0f);  // the second output of the impulse
    EXPECT_EQ(t.d->scope.sample[2].load(), 1540);
}
