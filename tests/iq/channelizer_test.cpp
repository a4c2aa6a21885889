// The channelizer: each channel is the band mixed to its centre, filtered and decimated, sample
// for sample continuous across hops, on the time base the header states; what lies outside a
// channel does not reach it; channels do not disturb one another.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <vector>

#include "iq/channelizer.h"

using nimbra::iq::Channelizer;

namespace {

constexpr double kPi = 3.14159265358979323846;

std::vector<std::complex<float>> tone(double rate, double hz, std::size_t count, double amplitude = 1.0)
{
    std::vector<std::complex<float>> z(count);
    for (std::size_t n = 0; n < count; ++n) {
        const double phase = std::remainder(2.0 * kPi * hz * double(n) / rate, 2.0 * kPi);
        z[n] = {static_cast<float>(amplitude * std::cos(phase)), static_cast<float>(amplitude * std::sin(phase))};
    }
    return z;
}

// Feeds the band in uneven pieces, as reads from a pipe come.
void feed(Channelizer& c, const std::vector<std::complex<float>>& z)
{
    std::size_t at = 0, piece = 1;
    while (at < z.size()) {
        const std::size_t n = std::min(piece, z.size() - at);
        c.process(z.data() + at, n);
        at += n;
        piece = piece * 3 + 7;
        if (piece > 20000)
            piece = 5;
    }
}

double rms(const std::vector<std::complex<float>>& z, std::size_t from)
{
    double p = 0.0;
    for (std::size_t i = from; i < z.size(); ++i)
        p += double(std::norm(z[i]));
    return std::sqrt(p / double(z.size() - from));
}

}  // namespace

TEST(Channelizer, AToneInTheChannelComesOutAtItsOffsetWithItsPhaseContinuousAcrossHops)
{
    for (double rate : {192000.0, 2400000.0, 10000000.0}) {
        Channelizer c(rate);
        const double centre = 0.23 * rate;
        const int id = c.addChannel(centre, 15000.0);
        const double offset = 4321.0 + centre - c.channel(id).centreHz;
        feed(c, tone(rate, centre + 4321.0, static_cast<std::size_t>(rate * 0.05), 0.5));
        const auto& out = c.channel(id).output;
        ASSERT_GT(out.size(), 200u) << rate;
        const double step = 2.0 * kPi * offset / c.channel(id).outputRate;
        // Past the filter's start-up every sample turns by the same step at the same amplitude.
        const std::size_t settled = static_cast<std::size_t>(c.filterLength() / c.channel(id).decimation) + 2;
        for (std::size_t i = settled + 1; i < out.size(); ++i) {
            const double turn = std::arg(std::complex<double>(out[i]) * std::conj(std::complex<double>(out[i - 1])));
            ASSERT_NEAR(turn, step, 2e-3) << rate << " at " << i;
            ASSERT_NEAR(std::abs(out[i]), 0.5, 0.005) << rate << " at " << i;
        }
    }
}

TEST(Channelizer, SignalsOutsideTheChannelAreStoppedAndChannelsDoNotDisturbOneAnother)
{
    const double rate = 2400000.0;
    Channelizer c(rate);
    const int narrow = c.addChannel(-300000.0, 16000.0);
    const int wide = c.addChannel(-150000.0, 95000.0);
    EXPECT_LT(c.channel(narrow).outputRate, c.channel(wide).outputRate);
    // A carrier 30 dB above everything else, 100 kHz from the narrow channel and inside the wide
    // one; the narrow channel sees only its own weak tone.
    auto band = tone(rate, -200000.0, 240000, 1.0);
    const auto weak = tone(rate, -300000.0 + 2000.0, 240000, 0.0316);
    for (std::size_t i = 0; i < band.size(); ++i)
        band[i] += weak[i];
    feed(c, band);
    const std::size_t settled = 64;
    EXPECT_NEAR(rms(c.channel(narrow).output, settled), 0.0316, 0.0316 * 0.01);  // within 0.1 dB
    EXPECT_NEAR(rms(c.channel(wide).output, settled), 1.0, 0.01);

    // Stop band: a tone beyond the channel's half-width by more than the transition band.
    Channelizer alone(rate);
    const int id = alone.addChannel(0.0, 16000.0);
    feed(alone, tone(rate, 16000.0 + alone.transitionHz() + 500.0, 240000, 1.0));
    EXPECT_LT(20.0 * std::log10(rms(alone.channel(id).output, settled)), -60.0);
}

TEST(Channelizer, OutputSamplesStandForTheInputTimeTheHeaderStates)
{
    const double rate = 2400000.0;
    Channelizer c(rate);
    // Added after some input: its first sample is the first of the next hop.
    std::vector<std::complex<float>> silence(100000);
    feed(c, silence);
    const int id = c.addChannel(0.0, 20000.0);
    const auto& tap = c.channel(id);
    EXPECT_EQ(tap.firstOutput % static_cast<std::int64_t>(c.hop() / static_cast<std::size_t>(tap.decimation)), 0);
    // A step from 0 to 1 at input sample 160000: the output crosses half its height where the
    // header says that sample lies.
    std::vector<std::complex<float>> step(200000, {1.0f, 0.0f});
    std::fill(step.begin(), step.begin() + 60000, std::complex<float>());
    feed(c, step);
    const auto& out = c.channel(id).output;
    double crossing = -1.0;
    for (std::size_t i = 1; i < out.size(); ++i)
        if (out[i - 1].real() < 0.5f && out[i].real() >= 0.5f) {
            const double f = (0.5 - double(out[i - 1].real())) / double(out[i].real() - out[i - 1].real());
            crossing = double(tap.firstOutput) + double(i - 1) + f;
            break;
        }
    ASSERT_GT(crossing, 0.0);
    const double inputTime = crossing * tap.decimation - c.delay();
    EXPECT_NEAR(inputTime, 160000.0, 0.5 * tap.decimation);
}
