// The synthesizer's IQ channel and writer, and the radio channel's settable IF: the signals the
// IQ receiver and the sensitivity sweep are measured on must be what they claim.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdio>
#include <unistd.h>

#include "iq/iq_format.h"
#include "iq/iq_source.h"
#include "iq_signals.h"
#include "synth/channel_rf.h"
#include "synth/iq_writer.h"

using nimbra::synth::IqChannel;
using nimbra::synth::IqChannelSettings;

namespace {

constexpr double kPi = 3.14159265358979323846;

// Mean frequency of a signal, Hz, from its phase steps.
double meanFrequency(const std::vector<std::complex<float>>& z, std::size_t from, std::size_t to, double rate)
{
    std::complex<double> turn;
    for (std::size_t i = from; i + 1 < to; ++i)
        turn += std::complex<double>(z[i + 1]) * std::conj(std::complex<double>(z[i]));
    return std::arg(turn) * rate / (2.0 * kPi);
}

}  // namespace

TEST(IqChannel, NoiseFollowsTheEbN0DefinitionAtEveryRate)
{
    for (double rate : {48000.0, 2400000.0}) {
        IqChannelSettings s;
        s.sampleRate = rate;
        s.carrier = false;
        s.ebN0Db = 10.0;
        IqChannel channel(s);
        const auto z = channel.render(std::vector<std::uint8_t>(2000, 1), 5.0);
        double power = 0.0;
        for (const auto& v : z)
            power += double(std::norm(v));
        power /= double(z.size());
        // E|w|^2 = samples per bit / (Eb/N0) for a unit carrier.
        const double samplesPerBit = 5.0 * rate / 48000.0;
        EXPECT_NEAR(power, samplesPerBit / 10.0, 0.03 * samplesPerBit / 10.0) << rate;
        EXPECT_NEAR(channel.noiseSigma(5.0), std::sqrt(samplesPerBit / 20.0), 1e-12);
    }
}

TEST(IqChannel, TonesSitAtOffsetPlusMinusDeviationAndDrift)
{
    iqtest::IqSignal s;
    s.rate = 240000.0;
    s.offsetHz = -30000.0;
    s.deviationHz = 12000.0;
    // A run of marks then a run of spaces.
    std::vector<std::uint8_t> bits(2000, 1);
    std::fill(bits.begin() + 1000, bits.end(), 0);
    const auto z = iqtest::render(s, bits);
    EXPECT_NEAR(meanFrequency(z, 1000, 20000, s.rate), -42000.0, 1.0);
    EXPECT_NEAR(meanFrequency(z, 30000, 49000, s.rate), -18000.0, 1.0);

    s.rate = 48000.0;
    s.offsetHz = 0.0;
    s.deviationHz = 3600.0;
    s.driftHzPerS = 300.0;
    const auto drifting = iqtest::render(s, std::vector<std::uint8_t>(9600 * 2, 1));
    // Marks at -3600 Hz, the carrier 300 Hz higher after one second.
    EXPECT_NEAR(meanFrequency(drifting, 47000, 49000, 48000.0), -3300.0, 5.0);
    // Turning back at +100 Hz: up for a third of a second, then down, 50 Hz by half a second.
    s.driftSpanHz = 100.0;
    const auto bounded = iqtest::render(s, std::vector<std::uint8_t>(9600 * 2, 1));
    EXPECT_NEAR(meanFrequency(bounded, 23000, 25000, 48000.0), -3600.0 + 50.0, 10.0);
}

TEST(IqChannel, RenderedInPiecesIsTheSameAsWhole)
{
    IqChannelSettings s;
    s.sampleRate = 2048000.0;
    s.offsetHz = 1234.0;
    s.ebN0Db = 20.0;
    const auto bits = iqtest::randomBits(400, 3);
    IqChannel whole(s), pieces(s);
    const auto all = whole.render(bits, 4.992);
    std::vector<std::complex<float>> joined;
    for (std::size_t i = 0; i < bits.size(); i += 77) {
        const std::vector<std::uint8_t> part(bits.begin() + static_cast<long>(i),
                                             bits.begin() + static_cast<long>(std::min(bits.size(), i + 77)));
        const auto z = pieces.render(part, 4.992);
        joined.insert(joined.end(), z.begin(), z.end());
    }
    EXPECT_EQ(joined.size(), whole.samplesFor(bits.size(), 4.992));
    ASSERT_EQ(joined.size(), all.size());
    for (std::size_t i = 0; i < all.size(); i += 97)
        EXPECT_EQ(joined[i], all[i]) << i;
}

TEST(IqWriter, EachFormatReadsBackThroughTheReceiversReader)
{
    const std::vector<std::complex<float>> z = {{0.5f, -0.25f}, {-1.0f, 0.99f}, {0.0f, 0.0f}, {2.0f, -3.0f}};
    const char* formats[] = {"cu8", "cs8", "cs16", "cf32", "wav", "wav-float"};
    for (const char* name : formats) {
        const std::string path = ::testing::TempDir() + "nimbra-writer-" + std::to_string(::getpid()) + name;
        nimbra::synth::IqWriter writer;
        std::string error;
        ASSERT_TRUE(writer.open(path, *nimbra::synth::parseIqFileFormat(name), 96000, z.size(), 1.0, error));
        ASSERT_TRUE(writer.write(z, error));
        ASSERT_TRUE(writer.close(error));
        const std::string format = std::string(name).substr(0, 3) == "wav" ? "wav" : name;
        auto source = nimbra::iq::openIqInput(path, *nimbra::iq::parseIqFormat(format), 96000.0, error);
        ASSERT_TRUE(source) << error;
        std::vector<std::complex<float>> back;
        while (source->read(back, 16) > 0) {
        }
        ASSERT_EQ(back.size(), z.size()) << name;
        const bool eightBit = format == "cu8" || format == "cs8";
        const bool isFloat = format == "cf32" || std::string(name) == "wav-float";
        for (std::size_t i = 0; i < 3; ++i) {
            EXPECT_NEAR(back[i].real(), z[i].real(), eightBit ? 1.0 / 128 : 1.0 / 32768) << name << i;
            EXPECT_NEAR(back[i].imag(), z[i].imag(), eightBit ? 1.0 / 128 : 1.0 / 32768) << name << i;
        }
        // Beyond full scale: clipped in integer formats (and counted), kept in float ones.
        EXPECT_EQ(writer.clipped(), isFloat ? 0u : 2u) << name;
        if (isFloat) {
            EXPECT_EQ(back[3], z[3]) << name;
        }
        std::remove(path.c_str());
    }
}

TEST(RfChannel, WideIfTakesAFasterModelAndKeepsTheDefaultsAsTheyWere)
{
    nimbra::synth::RfChannelSettings narrow;
    EXPECT_EQ(nimbra::synth::RfChannel(narrow).oversampling(), 4);
    nimbra::synth::RfChannelSettings wide;
    wide.deviationHz = 80000.0;
    wide.ifBandwidthHz = 200000.0;
    nimbra::synth::RfChannel channel(wide);
    EXPECT_GE(channel.oversampling() * 48000.0, 2.5 * 200000.0);
    // A strong signal through it: the discriminator audio reads the deviation at the amplitude.
    std::vector<std::uint8_t> bits(400, 1);
    std::fill(bits.begin() + 200, bits.end(), 0);
    const auto audio = channel.render(bits, 5.0);
    EXPECT_NEAR(audio[500], -10000.0, 300.0);
    EXPECT_NEAR(audio[1500], 10000.0, 300.0);
}
