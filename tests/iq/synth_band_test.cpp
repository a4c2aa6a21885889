// The synthesizer's band: what the receiver's tests and sweeps are measured on must be what it
// claims: the crystal's shift of frequency and bit rate, each sonde's level, fading, switching
// and rise, the spurs, the dongle's DC and image, and the same samples however it is cut.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <vector>

#include "synth/band_spec.h"
#include "synth/band.h"
#include "synth/dongle.h"

using nimbra::synth::Band;
using nimbra::synth::BandSettings;
using nimbra::synth::BandSonde;

namespace {

constexpr double kPi = 3.14159265358979323846;

// Power at `hz` over the samples, against a unit carrier: |mean of z e^{-j w n}|^2.
double powerAt(const std::vector<std::complex<float>>& z, double rate, double hz)
{
    std::complex<double> sum;
    for (std::size_t n = 0; n < z.size(); ++n)
        sum += std::complex<double>(z[n]) * std::polar(1.0, -2.0 * kPi * hz * double(n) / rate);
    return std::norm(sum / double(z.size()));
}

// Mean power of a stretch of samples.
double meanPower(const std::vector<std::complex<float>>& z, std::size_t from, std::size_t to)
{
    double p = 0.0;
    for (std::size_t i = from; i < to; ++i)
        p += double(std::norm(z[i]));
    return p / double(to - from);
}

BandSonde idle(double offsetHz)
{
    BandSonde s;
    s.offsetHz = offsetHz;
    s.bits.assign(200000, 1);  // the idle tone: a carrier at offset - deviation
    return s;
}

}  // namespace

TEST(SynthBand, TheCrystalMovesEveryFrequencyAndTheBitClockByItsPpm)
{
    BandSettings b;
    b.sampleRate = 240000.0;
    b.durationS = 0.5;
    b.ppm = 50.0;
    b.tunedHz = 1680e6;
    b.sondes = {idle(20000.0)};
    Band band(b);
    const auto z = band.render(band.totalSamples());
    // The mark tone, 3.6 kHz below the carrier, moved down by 50 ppm of 1680 MHz (84 kHz) and
    // seen through a clock 50 ppm fast.
    const double expected = (20000.0 - 3600.0 - 50e-6 * 1680e6) / (1.0 + 50e-6);
    EXPECT_GT(powerAt(z, b.sampleRate, expected), 0.98);
    EXPECT_LT(powerAt(z, b.sampleRate, expected + 20.0), 0.5);
}

TEST(SynthBand, LevelsFadingSwitchingAndRiseShapeEachSonde)
{
    BandSettings b;
    b.sampleRate = 96000.0;
    b.durationS = 4.0;
    BandSonde s = idle(0.0);
    s.levelDb = -6.0;
    s.onS = 1.0;
    s.offS = 3.0;
    BandSonde f = idle(30000.0);
    f.fadeDepthDb = 10.0;
    f.fadePeriodS = 2.0;
    BandSonde r = idle(-30000.0);
    r.riseDb = 20.0;
    r.riseS = 4.0;
    b.sondes = {s};
    {
        Band band(b);
        const auto z = band.render(band.totalSamples());
        const auto at = [&](double t) { return static_cast<std::size_t>(t * b.sampleRate); };
        EXPECT_LT(meanPower(z, at(0.0), at(0.99)), 1e-12);
        EXPECT_NEAR(10.0 * std::log10(meanPower(z, at(1.01), at(2.99))), -6.0, 0.01);
        EXPECT_LT(meanPower(z, at(3.01), at(4.0)), 1e-12);
    }
    b.sondes = {f};
    {
        Band band(b);
        const auto z = band.render(band.totalSamples());
        // Full level at the period's start, 10 dB down half a period on.
        EXPECT_NEAR(10.0 * std::log10(meanPower(z, 0, 960)), 0.0, 0.1);
        EXPECT_NEAR(10.0 * std::log10(meanPower(z, 95520, 96480)), -10.0, 0.1);
    }
    b.sondes = {r};
    {
        Band band(b);
        const auto z = band.render(band.totalSamples());
        EXPECT_NEAR(10.0 * std::log10(meanPower(z, 0, 960)), -20.0, 0.2);
        EXPECT_NEAR(10.0 * std::log10(meanPower(z, 191520, 192480)), -10.0, 0.2);
    }
}

TEST(SynthBand, SpursNoiseAndTheDonglesFaultsAreWhereTheyShouldBe)
{
    BandSettings b;
    b.sampleRate = 96000.0;
    b.durationS = 1.0;
    b.spurs = {{12000.0, 10.0}};
    b.ebN0Db = 20.0;
    Band band(b);
    auto z = band.render(band.totalSamples());
    EXPECT_NEAR(10.0 * std::log10(powerAt(z, b.sampleRate, 12000.0)), 10.0, 0.05);
    // The noise a 0 dB sonde at 20 dB would see: E|w|^2 = samples per bit / (Eb/N0).
    EXPECT_NEAR(2.0 * band.noiseSigma() * band.noiseSigma(), 4.992 * 2.0 / 100.0, 1e-9);

    nimbra::synth::DongleSettings d;
    d.gain = 0.1;
    d.dcI = 0.02;
    d.dcQ = -0.01;
    d.iqGainDb = 0.5;
    d.iqPhaseDeg = 3.0;
    nimbra::synth::Dongle(d, band.meanPower()).apply(z);
    const double dc = std::abs(std::complex<double>(0.02, -0.01));
    EXPECT_NEAR(std::sqrt(powerAt(z, b.sampleRate, 0.0)), dc, 0.002);
    // The image: a gain ratio a and phase phi leave (1 - a e^{j phi}) / 2 of the carrier at the
    // mirror: about -28 dB for 0.5 dB and 3 degrees.
    const double a = std::pow(10.0, 0.5 / 20.0), phi = 3.0 * kPi / 180.0;
    const double image = std::norm(0.5 * (1.0 - a * std::polar(1.0, phi)));
    const double carrier = std::norm(0.5 * (1.0 + a * std::polar(1.0, -phi)));
    EXPECT_NEAR(10.0 * std::log10(powerAt(z, b.sampleRate, -12000.0) / powerAt(z, b.sampleRate, 12000.0)),
                10.0 * std::log10(image / carrier), 0.3);
}

TEST(SynthBand, RenderedInPiecesIsTheSameAsWhole)
{
    BandSettings b;
    b.sampleRate = 192000.0;
    b.durationS = 3.0;
    b.ebN0Db = 12.0;
    b.ppm = -20.0;
    BandSonde s;
    s.offsetHz = -40000.0;
    s.driftHzPerS = 50.0;
    s.fadeDepthDb = 3.0;
    s.fadePeriodS = 1.3;
    s.onS = 0.4;
    b.sondes = {s};
    b.spurs = {{70000.0, 5.0}};
    Band whole(b), pieces(b);
    const auto all = whole.render(whole.totalSamples());
    std::vector<std::complex<float>> joined;
    for (std::size_t n = 1; pieces.rendered() < pieces.totalSamples(); n = n * 2 + 3) {
        const auto part = pieces.render(n);
        joined.insert(joined.end(), part.begin(), part.end());
    }
    ASSERT_EQ(joined.size(), all.size());
    for (std::size_t i = 0; i < all.size(); ++i)
        ASSERT_EQ(joined[i], all[i]) << i;
    // Every sonde's fixes are expected once it is on, none before.
    ASSERT_FALSE(whole.expected().empty());
    EXPECT_GT(whole.expected().front().endTimeS, 0.4);
}

TEST(SynthBand, SondeSpecsTakeEveryKeyAndNameTheirFaults)
{
    BandSonde s;
    std::string error;
    ASSERT_TRUE(nimbra::synth::parseSondeSpec(
        "id=2C3D,offset=-300k,deviation=3.6k,level=-3,drift=5,fade=6/4,on=10,off=200,rise=20/30,counter=500", s, error))
        << error;
    EXPECT_EQ(s.flight.transmitterId, 0x2C3D);
    EXPECT_DOUBLE_EQ(s.offsetHz, -300000.0);
    EXPECT_DOUBLE_EQ(s.deviationHz, 3600.0);
    EXPECT_DOUBLE_EQ(s.levelDb, -3.0);
    EXPECT_DOUBLE_EQ(s.driftHzPerS, 5.0);
    EXPECT_DOUBLE_EQ(s.fadeDepthDb, 6.0);
    EXPECT_DOUBLE_EQ(s.fadePeriodS, 4.0);
    EXPECT_DOUBLE_EQ(s.onS, 10.0);
    EXPECT_DOUBLE_EQ(s.offS, 200.0);
    EXPECT_DOUBLE_EQ(s.riseDb, 20.0);
    EXPECT_DOUBLE_EQ(s.riseS, 30.0);
    EXPECT_EQ(s.flight.firstCounter, 500);
    for (const char* bad : {"id=XYZ", "offset=12q", "level", "fade=6", "rise=-3/4", "colour=red", "on=5,off=2"}) {
        BandSonde t;
        error.clear();
        EXPECT_FALSE(nimbra::synth::parseSondeSpec(bad, t, error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}
