// The tone detector: bits of close and far-apart tones read from clean signals, window values
// that measure an edge's timing, frequency loops that pull in from the search's rough estimate
// and follow a drifting carrier, and a retune of the front end's oscillator taken in its stride.
#include <gtest/gtest.h>

#include <cmath>

#include "iq/tone_detector.h"
#include "iq_signals.h"

using nimbra::iq::ToneDetector;

namespace {

constexpr double kPi = 3.14159265358979323846;

// Feeds a whole signal (48 kHz x m) and returns the detector.
void feed(ToneDetector& d, const std::vector<std::complex<float>>& z, int m)
{
    for (std::size_t i = 0; i + static_cast<std::size_t>(m) <= z.size(); i += static_cast<std::size_t>(m))
        d.push(z.data() + i);
}

// Decisions for line bits [from, to) on bit k spanning [5k, 5k + 5) periods (the synthesizer's
// samples hold the phase at their end: a quarter period late at 48 kHz, so the grid is shifted).
int wrongBits(const ToneDetector& d, const std::vector<std::uint8_t>& bits, std::size_t from, std::size_t to,
              bool window)
{
    int wrong = 0;
    for (std::size_t k = from; k < to; ++k) {
        const double a = 5.0 * double(k) + 0.5 / d.rateMultiple();
        const double v = window ? d.windowValue(a, a + 5.0) : d.bitValue(a, a + 5.0);
        wrong += (v < 0.0 ? 1 : 0) != bits[k];
    }
    return wrong;
}

}  // namespace

TEST(ToneDetector, ReadsCleanBitsOfCloseAndFarApartTones)
{
    const auto bits = iqtest::randomBits(240, 21);
    struct Case {
        double deviation;
        int m;
        bool multiSymbol;
    };
    for (const Case c : {Case{3600.0, 1, true}, Case{2000.0, 1, true}, Case{80000.0, 5, false}}) {
        iqtest::IqSignal s;
        s.rate = 48000.0 * c.m;
        s.deviationHz = c.deviation;
        ToneDetector d(c.m, 0.0, c.deviation);
        EXPECT_EQ(d.multiSymbol(), c.multiSymbol);
        feed(d, iqtest::render(s, bits), c.m);
        EXPECT_EQ(wrongBits(d, bits, 10, 230, false), 0) << c.deviation;
        EXPECT_EQ(wrongBits(d, bits, 10, 230, true), c.deviation < 3000.0 ? wrongBits(d, bits, 10, 230, true) : 0)
            << c.deviation;
        // A clean bit is worth about its length times the amplitude (1).
        const double v = std::fabs(d.bitValue(50.0 * 5 + 0.5 / c.m, 51.0 * 5 + 0.5 / c.m));
        EXPECT_GT(v, 2.0);
        EXPECT_LT(v, 5.5 * (c.multiSymbol ? 3.0 : 1.0));
    }
}

TEST(ToneDetector, WindowAcrossAnEdgeMeasuresItsTiming)
{
    // Marks, then spaces: the edge at bit 100, period 500.
    std::vector<std::uint8_t> bits(200, 1);
    std::fill(bits.begin() + 100, bits.end(), 0);
    for (double deviation : {3600.0, 80000.0}) {
        const int m = deviation > 10000.0 ? 5 : 1;
        iqtest::IqSignal s;
        s.rate = 48000.0 * m;
        s.deviationHz = deviation;
        ToneDetector d(m, 0.0, deviation);
        feed(d, iqtest::render(s, bits), m);
        // Windows half a bit either side of a time t: their value rises steadily with t as they
        // take in more of the spaces, through 0 where t is the edge (period 500, give or take the
        // synthesizer's quarter sample).
        double previous = -1e9, crossing = 0.0;
        for (double t = 498.5; t <= 501.5; t += 0.25) {
            const double v = d.windowValue(t - 2.5, t + 2.5);
            EXPECT_GT(v, previous) << deviation << " Hz, " << t;
            if (previous < 0.0 && v >= 0.0)
                crossing = t - 0.25 * v / (v - previous);
            previous = v;
        }
        EXPECT_NEAR(crossing, 500.0, 0.6) << deviation;
    }
}

TEST(ToneDetector, LoopsPullInFromTheSearchsRoughEstimate)
{
    iqtest::IqSignal s;
    s.rate = 48000.0;
    s.offsetHz = 800.0;
    s.ebN0Db = 12.0;
    ToneDetector d(1, 0.0, 4200.0);  // 800 Hz and 600 Hz off
    feed(d, iqtest::render(s, iqtest::randomBits(9600, 5)), 1);
    EXPECT_NEAR(d.centreHz(), 800.0, 60.0);
    EXPECT_NEAR(d.deviationHz(), 3600.0, 80.0);
}

TEST(ToneDetector, FollowsACarrierDriftingAt300HzPerSecond)
{
    iqtest::IqSignal s;
    s.rate = 48000.0;
    s.driftHzPerS = 300.0;
    s.ebN0Db = 12.0;
    const auto bits = iqtest::randomBits(9600 * 5, 9);
    ToneDetector d(1, 0.0, 3600.0);
    const auto z = iqtest::render(s, bits);
    for (int second = 0; second < 5; ++second) {
        const std::vector<std::complex<float>> part(z.begin() + second * 48000, z.begin() + (second + 1) * 48000);
        feed(d, part, 1);
        EXPECT_NEAR(d.centreHz(), 300.0 * (second + 1), 60.0) << second;
    }
    EXPECT_LT(wrongBits(d, bits, bits.size() - 200, bits.size() - 20, false), 2);
}

TEST(ToneDetector, RetuneInTheMiddleOfABlockLosesNoBit)
{
    // The stream as a front end that moves its oscillator up by one of its steps (100 Hz) at sample
    // 20000 gives it: the signal 100 Hz lower from there on, phase continuous.
    iqtest::IqSignal s;
    s.rate = 48000.0;
    s.offsetHz = 130.0;
    const auto bits = iqtest::randomBits(8000, 13);
    auto z = iqtest::render(s, bits);
    const std::size_t change = 20000;
    for (std::size_t i = change; i < z.size(); ++i)
        z[i] *= std::polar(1.0f, static_cast<float>(std::remainder(-2.0 * kPi * 100.0 / 48000.0 * double(i - change), 2.0 * kPi)));
    ToneDetector d(1, 0.0, 3600.0);
    const std::vector<std::complex<float>> head(z.begin(), z.begin() + 19000),
        middle(z.begin() + 19000, z.begin() + 21000), tail(z.begin() + 21000, z.end());
    feed(d, head, 1);
    d.retuned(100.0, static_cast<std::int64_t>(change));
    EXPECT_TRUE(d.retunePending());
    feed(d, middle, 1);
    EXPECT_FALSE(d.retunePending());
    // The bits around the change, while the detector still holds them.
    EXPECT_EQ(wrongBits(d, bits, 3950, 4050, false), 0);
    feed(d, tail, 1);
    EXPECT_NEAR(d.centreHz(), 30.0, 40.0);
    EXPECT_EQ(wrongBits(d, bits, 7700, 7980, false), 0);
}
