// The channel filter against what it is designed to do: the plan's rates, each stage's response
// (flat passband, 60 dB stop band), the whole chain's gain for tones inside and outside the channel,
// its delay, and a retune that moves the channel without a jump in phase.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <vector>

#include "iq/channel_filter.h"

using nimbra::iq::ChannelFilter;
using nimbra::iq::ChannelPlan;
using nimbra::iq::planChannel;

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Case {
    double rate;
    double halfWidth;
};
// Narrow and wide channels at the rates of the common SDRs and sound-card IQ.
const Case kCases[] = {{48000.0, 16600.0},   {192000.0, 16600.0},  {2400000.0, 16600.0},
                       {2400000.0, 93000.0}, {2048000.0, 16600.0}, {3200000.0, 115000.0}};

double gainDb(const std::vector<float>& taps, double f, double rate)
{
    std::complex<double> h;
    for (std::size_t n = 0; n < taps.size(); ++n)
        h += double(taps[n]) * std::polar(1.0, -2.0 * kPi * f / rate * double(n));
    return 20.0 * std::log10(std::abs(h));
}

// Amplitude and frequency of the output for a unit tone at `hz` (input rate), after settling.
std::pair<double, double> throughChain(const ChannelPlan& plan, double centre, double hz)
{
    ChannelFilter filter(plan, centre);
    const auto n = static_cast<std::size_t>(plan.inputRate * 0.02);
    std::vector<std::complex<float>> in(n), out;
    for (std::size_t i = 0; i < n; ++i)
        in[i] = std::polar(1.0f, static_cast<float>(std::remainder(2.0 * kPi * hz / plan.inputRate * double(i), 2.0 * kPi)));
    filter.process(in.data(), n, out);
    double amplitude = 0.0;
    std::complex<double> turn;
    const std::size_t from = out.size() / 2;
    for (std::size_t i = from; i + 1 < out.size(); ++i) {
        amplitude += double(std::abs(out[i]));
        turn += std::complex<double>(out[i + 1]) * std::conj(std::complex<double>(out[i]));
    }
    return {amplitude / double(out.size() - 1 - from), std::arg(turn) * plan.outputRate / (2.0 * kPi)};
}

}  // namespace

TEST(ChannelPlan, RateIsAMultipleOf48kHzThatHoldsTheChannel)
{
    for (const Case& c : kCases) {
        const ChannelPlan p = planChannel(c.rate, c.halfWidth);
        SCOPED_TRACE(testing::Message() << c.rate << " S/s, half-width " << c.halfWidth);
        EXPECT_DOUBLE_EQ(p.outputRate, 48000.0 * p.rateMultiple);
        EXPECT_LE(p.outputRate, c.rate);
        EXPECT_GE(p.outputRate, std::min(2.0 * c.halfWidth, c.rate) - 1.0);
        int product = 1;
        for (const auto& s : p.stages)
            product *= s.decimation;
        EXPECT_EQ(product, p.decimation);
        EXPECT_GE(p.decimatedRate, p.outputRate);
        EXPECT_EQ(p.resample, std::fabs(p.decimatedRate - p.outputRate) > 1.0);
    }
    EXPECT_EQ(planChannel(192000.0, 16600.0).rateMultiple, 1);
    EXPECT_EQ(planChannel(2400000.0, 93000.0).rateMultiple, 5);
    EXPECT_TRUE(planChannel(2048000.0, 16600.0).resample);
    EXPECT_FALSE(planChannel(2400000.0, 16600.0).resample);
}

TEST(ChannelFilter, EachStageIsFlatInTheChannelAndStopsWhatWouldFoldIntoIt)
{
    for (const Case& c : kCases) {
        const ChannelPlan p = planChannel(c.rate, c.halfWidth);
        for (const auto& stage : p.stages) {
            SCOPED_TRACE(testing::Message() << c.rate << " S/s, stage by " << stage.decimation);
            const std::vector<float> taps = nimbra::iq::designStageTaps(stage, p.attenuationDb);
            EXPECT_EQ(taps.size() % 2, 1u);
            for (double f = 0.0; f <= stage.passHz; f += stage.passHz / 40.0)
                EXPECT_NEAR(gainDb(taps, f, stage.inputRate), 0.0, 0.1) << f << " Hz";
            for (double f = stage.stopHz; f <= stage.inputRate / 2.0; f += (stage.inputRate / 2.0 - stage.stopHz) / 60.0 + 1.0)
                EXPECT_LT(gainDb(taps, f, stage.inputRate), -58.0) << f << " Hz";
        }
    }
}

TEST(ChannelFilter, ChainPassesTheChannelAndRejectsTonesThatWouldFoldIntoIt)
{
    for (const Case& c : kCases) {
        const ChannelPlan p = planChannel(c.rate, c.halfWidth);
        const double centre = c.rate / 8.0;
        SCOPED_TRACE(testing::Message() << c.rate << " S/s, half-width " << c.halfWidth);
        for (double f : {0.0, 0.5 * p.passHz, -0.9 * p.passHz}) {
            const auto [amplitude, hz] = throughChain(p, centre, centre + f);
            EXPECT_NEAR(amplitude, 1.0, 0.01) << f;
            EXPECT_NEAR(hz, f, 1.0) << f;
        }
        // Tones one output rate away land on the channel after decimation: they must be gone.
        if (p.outputRate + 0.5 * p.passHz < c.rate / 2.0) {
            const auto [amplitude, hz] = throughChain(p, centre, centre + p.outputRate - 0.5 * p.passHz);
            EXPECT_LT(20.0 * std::log10(amplitude), -55.0);
            (void)hz;
        }
    }
}

TEST(ChannelFilter, DelayIsTheFiltersGroupDelay)
{
    for (const Case& c : kCases) {
        const ChannelPlan p = planChannel(c.rate, c.halfWidth);
        ChannelFilter filter(p, 0.0);
        // A Gaussian pulse at input time t0, narrow enough to pass the channel unchanged.
        const double t0 = 3000.5 * c.rate / 48000.0;
        const double width = c.rate / 8000.0;
        std::vector<std::complex<float>> in(static_cast<std::size_t>(2.0 * t0)), out;
        for (std::size_t i = 0; i < in.size(); ++i)
            in[i] = static_cast<float>(std::exp(-0.5 * std::pow((double(i) - t0) / width, 2.0)));
        filter.process(in.data(), in.size(), out);
        double sum = 0.0, weighted = 0.0;
        for (std::size_t i = 0; i < out.size(); ++i) {
            sum += double(std::abs(out[i]));
            weighted += double(std::abs(out[i])) * double(i);
        }
        EXPECT_NEAR(weighted / sum, t0 * p.outputRate / c.rate + filter.delay(), 0.05) << c.rate;
    }
}

TEST(ChannelFilter, RetuneMovesTheChannelWithoutAJumpInPhase)
{
    const ChannelPlan p = planChannel(192000.0, 16600.0);
    ChannelFilter filter(p, 10000.0);
    const double tone = 12000.0;
    std::vector<std::complex<float>> in(19200), out;
    for (std::size_t i = 0; i < in.size(); ++i)
        in[i] = std::polar(1.0f, static_cast<float>(std::remainder(2.0 * kPi * tone / 192000.0 * double(i), 2.0 * kPi)));
    filter.process(in.data(), 9600, out);
    const std::size_t before = out.size();
    filter.retune(10100.0);
    filter.process(in.data() + 9600, 9600, out);
    // Phase steps per output sample: 2 kHz before, 1.9 kHz once the filter has taken the change,
    // and nowhere a step beyond those two.
    const double perHz = 2.0 * kPi / p.outputRate;
    for (std::size_t i = before / 2; i + 1 < out.size(); ++i) {
        const double step = std::arg(std::complex<double>(out[i + 1]) * std::conj(std::complex<double>(out[i])));
        EXPECT_GT(step, 1900.0 * perHz - 0.02) << i;
        EXPECT_LT(step, 2000.0 * perHz + 0.02) << i;
        EXPECT_NEAR(std::abs(out[i]), 1.0, 0.02) << i;
    }
    const double last = std::arg(std::complex<double>(out.back()) * std::conj(std::complex<double>(out[out.size() - 2])));
    EXPECT_NEAR(last, 1900.0 * perHz, 1e-3);
}
