// The block-quality estimate (Eb/N0 per block) against the synthesizer's set Eb/N0 on its audio
// and radio channels, for every demodulator's way of handing over blocks and at the bit-rate
// offsets real sondes have; the input level meter.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "decoder/decoder.h"
#include "demod/demod_type.h"
#include "demod/input_level.h"
#include "demod/signal_quality.h"
#include "synth/audio_channel.h"
#include "synth/channel_rf.h"
#include "synth/synthesize.h"

using namespace nimbra;

namespace {

constexpr double kTolerance = 1.5;  // dB, of the median of a point's blocks

struct Estimates {
    std::vector<double> good;  // estimates of the GPS blocks with a good checksum
    std::vector<double> all;   // of every GPS block handed over, good or bad
};

Estimates decode(const std::vector<std::int16_t>& samples, int demodType, double samplesPerBit,
           bool estimate = true)
{
    auto decoder = std::make_unique<Decoder>();
    decoder->params.demodType = demodType;
    decoder->params.samplesPerBit = static_cast<float>(samplesPerBit);
    // The Pattern demodulator reads a positive level as a 1 bit.
    decoder->params.invertSignal = demodType == kPatternDemod ? 1 : 0;
    decoder->setSignalMeasurement(estimate);
    decoder->setDiagnosticSink([](const char*) {});
    Estimates run;
    decoder->setPacketListener([&run](const PacketEvent& block) {
        if (block.kind != BlockKind::Gps)
            return;
        run.all.push_back(double(block.ebN0Db));
        if (block.crcGood)
            run.good.push_back(double(block.ebN0Db));
    });
    decoder->ProcessSamples(samples.data(), samples.size());
    return run;
}

std::vector<std::int16_t> audioFlight(double ebN0Db, double samplesPerBit, int blocks, bool invert = false)
{
    synth::FlightSettings flight;
    flight.gpsBlocks = blocks;
    flight.samplesPerBit = samplesPerBit;
    synth::AudioChannelSettings audio;
    audio.ebN0Db = ebN0Db;
    audio.invert = invert;
    audio.seed = static_cast<std::uint64_t>(ebN0Db * 100.0);
    return synth::synthesizeFlight(flight, audio).samples;
}

std::vector<std::int16_t> radioFlight(double ebN0Db, double samplesPerBit, int blocks)
{
    synth::FlightSettings flight;
    flight.gpsBlocks = blocks;
    flight.samplesPerBit = samplesPerBit;
    synth::RfChannelSettings settings;
    settings.ebN0Db = ebN0Db;
    settings.seed = static_cast<std::uint64_t>(ebN0Db * 100.0);
    synth::RfChannel radio(settings);
    return synth::synthesizeFlight(flight, radio).samples;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The median of the estimates is within the tolerance of the truth, and no block is more than
// twice the tolerance off.
void expectTracks(const std::vector<double>& estimates, double truth, const char* what)
{
    ASSERT_GE(estimates.size(), 3u) << what << " at " << truth << " dB";
    EXPECT_NEAR(median(estimates), truth, kTolerance) << what;
    for (double e : estimates)
        EXPECT_NEAR(e, truth, 2.0 * kTolerance) << what << " at " << truth << " dB";
}

const double kPoints[] = {10.0, 12.5, 15.0, 17.5, 20.0, 22.5, 25.0};

}  // namespace

TEST(SignalQuality, TracksTheAudioChannelFrom10To25Db)
{
    for (double eb : kPoints)
        expectTracks(decode(audioFlight(eb, 4.992, 8), kSyncDemod, 4.992).good, eb, "audio");
}

TEST(SignalQuality, TracksTheRadioChannelFrom10To25Db)
{
    for (double eb : kPoints) {
        // At 10 dB few blocks pass their checksum; the Sync demodulator also hands over the
        // blocks that fail it but are plainly a transmission, and those are measured too.
        const int blocks = eb < 11.0 ? 24 : 8;
        const Estimates run = decode(radioFlight(eb, 4.992, blocks), kSyncDemod, 4.992);
        expectTracks(eb < 11.0 ? run.all : run.good, eb, "radio");
    }
}

// Each demodulator says differently where a block lay: the slicers by when the '$' reached the
// framer, the Pattern demodulator by its window, the Sync demodulator by its clock.
TEST(SignalQuality, BlocksOfEveryDemodulatorAreMeasured)
{
    const double eb = 24.0;
    for (double spb : {4.992, 5.0}) {
        const std::vector<std::int16_t> samples = audioFlight(eb, spb, 6);
        for (int demod : {kEdgeDemod, kLevelDemod, kPatternDemod, kSyncDemod}) {
            const Estimates run = decode(samples, demod, spb);
            EXPECT_EQ(run.good.size(), 6u) << "demodulator " << demod;
            expectTracks(run.good, eb, "every demodulator");
        }
    }
}

TEST(SignalQuality, BitRateOffsetsAndPolarityDoNotMatter)
{
    // 2,500 ppm slow and fast, the limits the Sync demodulator follows; the slicers do not care.
    for (double spb : {5.0125, 4.9875}) {
        expectTracks(decode(audioFlight(24.0, spb, 6), kEdgeDemod, spb).good, 24.0, "Edge, rate offset");
        expectTracks(decode(radioFlight(14.0, spb, 6), kSyncDemod, spb).good, 14.0, "Sync, rate offset");
    }
    expectTracks(decode(audioFlight(16.0, 4.992, 6, true), kSyncDemod, 4.992).good, 16.0, "inverted");
}

TEST(SignalQuality, NothingIsMeasuredUnlessAskedFor)
{
    const Estimates run = decode(audioFlight(20.0, 4.992, 3), kSyncDemod, 4.992, false);
    ASSERT_EQ(run.good.size(), 3u);
    for (double e : run.good)
        EXPECT_TRUE(std::isnan(e));
}

TEST(SignalQuality, BlocksThatCannotBeMeasuredGiveNoFigure)
{
    auto history = std::make_unique<SampleHistory>();
    const std::uint8_t block[20] = {'$', 'R', 'T', '1', 0x12, 0x34};
    BlockTiming timing;
    // Older than the history, or not yet all received.
    timing.dollarStart = 10.0;
    EXPECT_TRUE(std::isnan(estimateBlockEbN0(*history, 200000, block, 20, timing)));
    timing.dollarStart = 199990.0;
    EXPECT_TRUE(std::isnan(estimateBlockEbN0(*history, 200000, block, 20, timing)));
    // Silence: no level to measure.
    timing.dollarStart = 100000.0;
    EXPECT_TRUE(std::isnan(estimateBlockEbN0(*history, 200000, block, 20, timing)));
    // Too short, too long, no bytes.
    EXPECT_TRUE(std::isnan(estimateBlockEbN0(*history, 200000, block, 3, timing)));
    EXPECT_TRUE(std::isnan(estimateBlockEbN0(*history, 200000, block, BlockQuality::kMaxBytes + 1, timing)));
    EXPECT_TRUE(std::isnan(estimateBlockEbN0(*history, 200000, nullptr, 20, timing)));
}

TEST(InputLevel, PeakRmsAndClippingOfTheLastHalfSecond)
{
    auto decoder = std::make_unique<Decoder>();
    // Not measured unless asked for.
    for (int i = 0; i < InputLevel::kInterval; ++i)
        decoder->ProcessSample(1000.0f);
    EXPECT_EQ(decoder->inputLevel.measuredUpTo.load(), 0);
    decoder = std::make_unique<Decoder>();
    decoder->setSignalMeasurement(true);
    EXPECT_FLOAT_EQ(decoder->inputLevel.peakDbfs, InputLevel::kFloorDb);
    // Half of full scale as a square wave: peak and RMS both -6.02 dBFS.
    for (int i = 0; i < InputLevel::kInterval; ++i)
        decoder->ProcessSample(i % 10 < 5 ? 16384.0f : -16384.0f);
    EXPECT_EQ(decoder->inputLevel.measuredUpTo.load(), InputLevel::kInterval);
    EXPECT_NEAR(decoder->inputLevel.peakDbfs, -6.02, 0.01);
    EXPECT_NEAR(decoder->inputLevel.rmsDbfs, -6.02, 0.01);
    EXPECT_EQ(decoder->inputLevel.clippedSamples.load(), 0);
    // A sine at full scale: its crests clip, the RMS is 3 dB below the peak.
    const double pi = 3.14159265358979323846;
    for (int i = 0; i < InputLevel::kInterval; ++i)
        decoder->ProcessSample(static_cast<float>(std::round(32767.0 * std::sin(2.0 * pi * i / 48.0))));
    EXPECT_NEAR(decoder->inputLevel.peakDbfs, 0.0, 0.01);
    EXPECT_NEAR(decoder->inputLevel.rmsDbfs, -3.01, 0.02);
    EXPECT_GT(decoder->inputLevel.clippedSamples.load(), 0);
    // Silence reads as the floor.
    for (int i = 0; i < InputLevel::kInterval; ++i)
        decoder->ProcessSample(0.0f);
    EXPECT_FLOAT_EQ(decoder->inputLevel.peakDbfs, InputLevel::kFloorDb);
    EXPECT_FLOAT_EQ(decoder->inputLevel.rmsDbfs, InputLevel::kFloorDb);
    EXPECT_EQ(decoder->inputLevel.clippedSamples.load(), 0);
    // NaN (a broken float input) does not poison the figures: it reads as a clipped sample.
    for (int i = 0; i < InputLevel::kInterval; ++i)
        decoder->ProcessSample(i == 7 ? NAN : 0.0f);
    EXPECT_TRUE(std::isfinite(decoder->inputLevel.peakDbfs.load()));
    EXPECT_TRUE(std::isfinite(decoder->inputLevel.rmsDbfs.load()));
    EXPECT_EQ(decoder->inputLevel.clippedSamples.load(), 1);
}
