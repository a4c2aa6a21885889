// The search for the sonde: its tones found anywhere in the band, close together and far apart,
// at either edge; noise alone and an unmodulated carrier give no lock.
#include <gtest/gtest.h>

#include <cmath>

#include "iq/spectrum_search.h"
#include "iq_signals.h"

using nimbra::iq::SpectrumSearch;
using nimbra::iq::ToneEstimate;

namespace {

ToneEstimate searchOnce(const iqtest::IqSignal& signal, const std::vector<std::uint8_t>& bits)
{
    const auto z = iqtest::render(signal, bits);
    SpectrumSearch search(signal.rate);
    const std::size_t n = search.intervalSamples();
    EXPECT_GE(z.size(), n);
    EXPECT_TRUE(search.add(z.data(), n));
    return search.estimate();
}

}  // namespace

TEST(SpectrumSearch, FindsCloseTonesAnywhereInTheBandEdgesIncluded)
{
    const auto bits = iqtest::randomBits(3000, 7);
    iqtest::IqSignal s;
    s.ebN0Db = 10.0;
    // The centre from one edge of the band to the other (the signal wraps round at the top).
    for (double offset : {0.0, 30000.0, -85000.0, 85000.0, 95000.0}) {
        s.offsetHz = offset;
        const ToneEstimate e = searchOnce(s, bits);
        ASSERT_TRUE(e.found) << offset;
        EXPECT_NEAR(std::remainder(e.centreHz - offset, s.rate), 0.0, 300.0) << offset;
        EXPECT_NEAR(e.deviationHz, 3600.0, 600.0) << offset;
    }
}

TEST(SpectrumSearch, EstimatesTheDeviationFrom2To100kHz)
{
    const auto bits = iqtest::randomBits(3000, 8);
    for (double deviation : {2000.0, 3600.0, 6000.0, 12000.0, 40000.0, 100000.0}) {
        iqtest::IqSignal s;
        s.rate = deviation > 20000.0 ? 2400000.0 : 192000.0;
        s.offsetHz = deviation > 20000.0 ? -300000.0 : 20000.0;
        s.deviationHz = deviation;
        s.ebN0Db = 12.0;
        const ToneEstimate e = searchOnce(s, bits);
        ASSERT_TRUE(e.found) << deviation;
        EXPECT_NEAR(e.centreHz, s.offsetHz, 400.0) << deviation;
        // Close to the bit rate the tones blur into one hump: within 1.1 kHz is what the
        // detector's loops need.
        EXPECT_NEAR(e.deviationHz, deviation, deviation < 10000.0 ? 1100.0 : 0.02 * deviation) << deviation;
    }
}

TEST(SpectrumSearch, NoiseAloneAndAnIdleCarrierAreNotASonde)
{
    const auto idle = std::vector<std::uint8_t>(3000, 1);
    for (double rate : {48000.0, 192000.0, 2400000.0}) {
        iqtest::IqSignal noise;
        noise.rate = rate;
        noise.ebN0Db = 0.0;
        nimbra::synth::IqChannelSettings c;
        c.sampleRate = rate;
        c.ebN0Db = 0.0;
        c.carrier = false;
        c.seed = 3;
        for (std::uint64_t seed = 1; seed <= 4; ++seed) {
            c.seed = seed;
            nimbra::synth::IqChannel channel(c);
            const auto z = channel.render(idle, 5.0);
            SpectrumSearch search(rate);
            ASSERT_TRUE(search.add(z.data(), search.intervalSamples()));
            EXPECT_FALSE(search.estimate().present) << rate << " seed " << seed;
            EXPECT_FALSE(search.estimate().found);
        }
        // The idle mark tone alone: a signal, but no deviation to measure yet.
        noise.ebN0Db = 10.0;
        const ToneEstimate e = searchOnce(noise, idle);
        EXPECT_TRUE(e.present) << rate;
        EXPECT_FALSE(e.found) << rate;
    }
}
