// The tone-pair search: it finds both tones of a sonde at every deviation, in noise and beside
// other signals, and passes nothing else in a band for a sonde.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <vector>

#include "iq/tone_pair_search.h"
#include "iq_signals.h"
#include "synth/flight.h"
#include "synth/random.h"

using nimbra::iq::searchTonePair;
using nimbra::iq::TonePair;

namespace {

constexpr double kPi = 3.14159265358979323846;

// `seconds` of a flight's line (blocks and the idle tone between them) from `startS` on.
std::vector<std::uint8_t> flightBits(double startS, double seconds)
{
    nimbra::synth::FlightSettings f;
    f.gpsBlocks = static_cast<int>(startS + seconds) + 2;
    const auto bits = nimbra::synth::makeFlight(f).line.bits();
    const auto first = static_cast<std::size_t>(startS * 9615.0);
    const auto count = static_cast<std::size_t>(seconds * 9615.0);
    return std::vector<std::uint8_t>(bits.begin() + static_cast<long>(first),
                                     bits.begin() + static_cast<long>(first + count));
}

std::vector<std::complex<float>> sonde(double rate, double offset, double deviation, double ebN0, double startS,
                                       std::uint64_t seed = 1)
{
    iqtest::IqSignal s;
    s.rate = rate;
    s.offsetHz = offset;
    s.deviationHz = deviation;
    s.ebN0Db = ebN0;
    s.seed = seed;
    return iqtest::render(s, flightBits(startS, 0.6), 4.992);
}

// The noise's variance per sample at an Eb/N0 (what the band's floor tells the receiver).
double noiseAt(double rate, double ebN0)
{
    nimbra::synth::IqChannelSettings c;
    c.sampleRate = rate;
    c.ebN0Db = ebN0;
    const double sigma = nimbra::synth::IqChannel(c).noiseSigma(4.992);
    return 2.0 * sigma * sigma;
}

void addCarrier(std::vector<std::complex<float>>& z, double rate, double hz, double amplitude)
{
    for (std::size_t n = 0; n < z.size(); ++n)
        z[n] += std::polar(static_cast<float>(amplitude), static_cast<float>(std::remainder(2.0 * kPi * hz * double(n) / rate, 2.0 * kPi)));
}

}  // namespace

TEST(TonePairSearch, FindsBothTonesAtEveryDeviation)
{
    struct Case {
        double deviation, rate, span;
    };
    for (const Case c : {Case{2000.0, 96000.0, 12000.0}, Case{3600.0, 96000.0, 14000.0}, Case{3600.0, 75000.0, 14000.0},
                         Case{10000.0, 96000.0, 25000.0}, Case{40000.0, 192000.0, 60000.0},
                         Case{80000.0, 288000.0, 100000.0}}) {
        // Windows with a block or two in them, and the idle tone between.
        for (double start : {0.45, 0.7, 1.2}) {
            const auto z = sonde(c.rate, 1000.0, c.deviation, 12.0, start);
            const TonePair p = searchTonePair(z, c.rate, -c.span, c.span, start == 1.2 ? 0.0 : noiseAt(c.rate, 12.0));
            SCOPED_TRACE(testing::Message() << "deviation " << c.deviation << " rate " << c.rate << " start " << start
                                            << ": " << p.why);
            ASSERT_TRUE(p.sonde);
            EXPECT_NEAR(p.centreHz, 1000.0, 300.0);
            EXPECT_NEAR(p.deviationHz, c.deviation, std::max(250.0, 0.03 * c.deviation));
            EXPECT_GT(p.levelDb, 6.0);
        }
    }
}

TEST(TonePairSearch, FindsTheSondeAtTheLevelItDecodesAndNextToStrongerSignals)
{
    // At 7 and 8 dB (a few blocks in ten decode).
    for (double ebN0 : {7.0, 8.0}) {
        const auto weak = sonde(96000.0, -2000.0, 3600.0, ebN0, 0.45, 5);
        const TonePair p = searchTonePair(weak, 96000.0, -16000.0, 16000.0, noiseAt(96000.0, ebN0));
        EXPECT_TRUE(p.sonde) << ebN0 << ": " << p.why;
        EXPECT_NEAR(p.deviationHz, 3600.0, 300.0) << ebN0;
    }

    // A carrier 20 dB above the sonde beside the span, in the channel: its leakage must not
    // pull the tones.
    auto spurred = sonde(96000.0, -6000.0, 3600.0, 12.0, 0.45, 6);
    addCarrier(spurred, 96000.0, 19000.0, 10.0);
    TonePair p = searchTonePair(spurred, 96000.0, -18000.0, 6000.0, noiseAt(96000.0, 12.0));
    EXPECT_TRUE(p.sonde) << p.why;
    EXPECT_NEAR(p.centreHz, -6000.0, 300.0);
    EXPECT_NEAR(p.deviationHz, 3600.0, 300.0);

    // Two sondes in one span: one of them, never a tone of each.
    auto two = sonde(192000.0, -30000.0, 3600.0, 14.0, 0.2, 7);
    const auto other = sonde(192000.0, 25000.0, 3600.0, 200.0, 0.55, 8);
    for (std::size_t i = 0; i < two.size() && i < other.size(); ++i)
        two[i] += other[i];
    p = searchTonePair(two, 192000.0, -50000.0, 50000.0, noiseAt(192000.0, 14.0));
    EXPECT_TRUE(p.sonde) << p.why;
    EXPECT_NEAR(p.deviationHz, 3600.0, 300.0);
    EXPECT_TRUE(std::fabs(p.centreHz + 30000.0) < 300.0 || std::fabs(p.centreHz - 25000.0) < 300.0) << p.centreHz;
}

TEST(TonePairSearch, NothingElseInABandPassesForASonde)
{
    const double rate = 96000.0;
    for (std::uint64_t seed = 1; seed <= 20; ++seed) {
        // Noise alone.
        iqtest::IqSignal s;
        s.rate = rate;
        s.ebN0Db = 10.0;
        s.seed = seed;
        // The idle tone alone: a carrier in noise, as a spur or the DC spike is.
        auto noise = iqtest::render(s, std::vector<std::uint8_t>(5800, 1));
        TonePair p = searchTonePair(noise, rate, -20000.0, 20000.0, noiseAt(rate, 10.0));
        EXPECT_FALSE(p.sonde) << "carrier, seed " << seed << ": " << p.why;

        // Two carriers, as spurs or a spur and its image.
        auto spurs = noise;
        addCarrier(spurs, rate, 7000.0, 1.0);
        p = searchTonePair(spurs, rate, -20000.0, 20000.0, noiseAt(rate, 10.0));
        EXPECT_FALSE(p.sonde) << "two carriers, seed " << seed << ": " << p.why;
    }
    for (std::uint64_t seed = 1; seed <= 20; ++seed) {
        nimbra::synth::Random random(seed);
        std::vector<std::complex<float>> z(57600);
        for (auto& v : z)
            v = {static_cast<float>(random.gaussian()), static_cast<float>(random.gaussian())};
        const TonePair p = searchTonePair(z, rate, -20000.0, 20000.0, 2.0);
        EXPECT_FALSE(p.sonde) << "noise, seed " << seed << ": " << p.why;
    }
}
