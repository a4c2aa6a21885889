// The Sync demodulator: flights at the bit-rate offsets real sondes have, in either polarity,
// through the audio and the radio channel model; the repair of one bit in doubt; no wrong block
// from two; nothing from noise.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "demod/decoder.h"
#include "tests/core/demod_test_support.h"
#include "synth/audio_channel.h"
#include "synth/channel_rf.h"
#include "synth/modulator.h"
#include "synth/random.h"
#include "synth/serial_line.h"
#include "synth/telemetry_blocks.h"

using namespace nimbra::synth;

namespace {

constexpr int kSyncDemod = 3;
constexpr int kIdleBits = 20;

using Block = std::vector<std::uint8_t>;

// Bit length in samples of a sonde whose bit rate is `ppm` parts per million above 9,600 bit/s.
double samplesPerBit(double ppm) { return 5.0 / (1.0 + ppm * 1e-6); }

// A short flight: GPS and PTU blocks in turn, each after idle time and its two sync characters.
std::vector<Block> flightBlocks(int count)
{
    std::vector<Block> blocks;
    for (int i = 0; i < count; ++i) {
        if (i % 2 == 0) {
            GpsBlockFields gps;
            gps.transmitterId = 0x1234;
            gps.timeCounter = static_cast<std::uint16_t>(100 + i);
            gps.latitudeRaw = 474000000 + i * 1000;
            gps.longitudeRaw = -919000000;
            gps.altitudeMm = 1500000 + i * 5000;
            gps.numSatellites = 6 + i % 4;
            blocks.push_back(buildGpsBlock(gps));
        } else {
            PtuBlockFields ptu;
            ptu.frameCounter = static_cast<std::uint16_t>(i);
            for (std::size_t c = 0; c < ptu.channels.size(); ++c)
                ptu.channels[c].count = static_cast<std::uint16_t>(20000 + 311 * c + i);
            blocks.push_back(buildPtuBlock(ptu));
        }
    }
    return blocks;
}

SerialLine lineFor(const std::vector<Block>& blocks)
{
    SerialLine line;
    for (const Block& b : blocks) {
        line.addIdle(kIdleBits);
        line.addCharacter(kSyncByte);
        line.addCharacter(kSyncByte);
        line.addCharacters(b);
    }
    line.addIdle(kIdleBits);
    return line;
}

// Line bit of data bit `bit` of byte `byteIndex` of the only block of a one-block line.
std::size_t lineBitOf(int byteIndex, int bit) { return kIdleBits + (2 + byteIndex) * 10 + 1 + bit; }

struct Received {
    std::vector<Block> good;
    std::vector<int> repaired;
    int bad = 0;
};

struct SyncDecoder {
    std::unique_ptr<nimbra::Decoder> d = std::make_unique<nimbra::Decoder>();
    Received got;

    SyncDecoder()
    {
        d->params.demodType = kSyncDemod;
        d->setClock([] { return std::int64_t{1700000000000}; });
        d->setPacketListener([this](const nimbra::PacketEvent& e) {
            if (!e.crcGood) {
                ++got.bad;
                return;
            }
            got.good.emplace_back(e.bytes, e.bytes + e.length);
            got.repaired.push_back(e.bitsRepaired);
        });
    }

    void feed(const std::vector<float>& audio)
    {
        for (float v : audio)
            d->ProcessSample(std::nearbyint(std::clamp(v, -32768.0f, 32767.0f)));
    }
};

// The audio of a line with levels +-10,000, a gentle receiver low-pass and noise at `ebN0Db`.
std::vector<float> audioOf(const SerialLine& line, double spb, double ebN0Db, bool invert,
                           std::uint64_t seed)
{
    AudioChannelSettings settings;
    settings.ebN0Db = ebN0Db;
    settings.lowPassHz = 7000.0;
    settings.invert = invert;
    settings.seed = seed;
    return AudioChannel(settings).render(line.bits(), spb);
}

// Turns data bit `bit` of byte `byteIndex` into a weak decision of the wrong sign: its samples
// are set to 0.3 of the opposite level.
void weakenAndFlip(std::vector<float>& levels, double spb, int byteIndex, int bit)
{
    const std::size_t k = lineBitOf(byteIndex, bit);
    const auto first = samplesForBits(k, spb);
    const auto end = samplesForBits(k + 1, spb);
    for (std::size_t n = first; n < end; ++n)
        levels[n] = -0.3f * levels[n];
}

// One GPS block, clean levels of +-10,000 with a little noise (Eb/N0 30 dB) so that no two bits
// look exactly alike, with some bits made weak and wrong.
std::vector<float> blockWithWeakBits(const Block& block,
                                     const std::vector<std::pair<int, int>>& bad)
{
    const double spb = samplesPerBit(1603);
    const SerialLine line = lineFor({block});
    std::vector<float> levels = modulateLevels(line.bits(), spb);
    for (auto [byteIndex, bit] : bad)
        weakenAndFlip(levels, spb, byteIndex, bit);
    Random random(77);
    const double sigma = noiseSigmaFor(10000.0, spb, 30.0);
    for (float& v : levels)
        v = static_cast<float>(10000.0 * double(v) + sigma * random.gaussian());
    return levels;
}

}  // namespace

TEST(SyncDemod, FlightsAtRealBitRatesDecodeEveryBlockInEitherPolarity)
{
    const std::vector<Block> blocks = flightBlocks(6);
    const SerialLine line = lineFor(blocks);
    for (double ppm : {1603.0, -2000.0}) {
        for (bool invert : {false, true}) {
            SyncDecoder s;
            s.feed(audioOf(line, samplesPerBit(ppm), 16.0, invert, 11));
            EXPECT_EQ(s.got.good, blocks) << ppm << " ppm, inverted " << invert;
            EXPECT_EQ(s.d->telemetry.goodPackets.load(), 6);
            EXPECT_EQ(s.d->telemetry.badPackets.load(), 0);
        }
    }
}

TEST(SyncDemod, FlightThroughTheRadioChannelDecodesEveryBlock)
{
    // Discriminator audio of a strong signal, 9,615.4 bit/s, received inverted.
    const std::vector<Block> blocks = flightBlocks(4);
    RfChannelSettings settings;
    settings.ebN0Db = 17.0;
    settings.invert = true;
    settings.seed = 3;
    RfChannel channel(settings);
    SyncDecoder s;
    s.feed(channel.render(lineFor(blocks).bits(), samplesPerBit(1603)));
    EXPECT_EQ(s.got.good, blocks);
}

TEST(SyncDemod, OneWrongBitOfWeakDecisionIsRepairedAndCountedGood)
{
    const Block block = flightBlocks(1)[0];
    for (auto where : {std::pair{40, 3}, std::pair{2, 0}, std::pair{int(block.size()) - 1, 7}}) {
        SyncDecoder s;
        s.feed(blockWithWeakBits(block, {where}));
        ASSERT_EQ(s.got.good.size(), 1u)
            << "byte " << where.first << ", bad blocks " << s.got.bad << ", openings found "
            << nimbra::DemodAccess::state(*s.d).sync.headersFound;
        EXPECT_EQ(s.got.good[0], block);
        EXPECT_EQ(s.got.repaired[0], 1);
        EXPECT_EQ(s.d->telemetry.goodPackets.load(), 1);
        EXPECT_EQ(s.d->telemetry.badPackets.load(), 0);
    }
}

TEST(SyncDemod, TwoWrongBitsNeverBecomeAWrongBlock)
{
    // Flipping one more bit can only reach a three-bit error pattern, which the checksum always
    // detects; the block is counted as bad and nothing is shown.
    const Block block = flightBlocks(1)[0];
    for (auto pair : {std::vector<std::pair<int, int>>{{20, 1}, {21, 1}},
                      std::vector<std::pair<int, int>>{{5, 0}, {60, 6}},
                      std::vector<std::pair<int, int>>{{30, 2}, {30, 5}}}) {
        SyncDecoder s;
        s.feed(blockWithWeakBits(block, pair));
        EXPECT_TRUE(s.got.good.empty());
        EXPECT_EQ(s.d->telemetry.goodPackets.load(), 0);
        EXPECT_EQ(s.d->telemetry.badPackets.load(), 1);
    }
}

TEST(SyncDemod, NoiseAloneYieldsNothing)
{
    // A minute of Gaussian noise, then 10 s of a radio channel with no carrier (the
    // discriminator's output is then all clicks). The opening test may fire by chance (about
    // once in 10^8 tests), but no block, good or bad, may come out.
    SyncDecoder s;
    Random random(2024);
    std::vector<float> noise(48000);
    for (int second = 0; second < 60; ++second) {
        for (float& v : noise)
            v = static_cast<float>(4000.0 * random.gaussian());
        s.feed(noise);
    }
    RfChannelSettings settings;
    settings.carrier = false;
    settings.ebN0Db = 10.0;
    settings.seed = 8;
    RfChannel channel(settings);
    const std::vector<std::uint8_t> anyBits(9600, 1);
    for (int second = 0; second < 10; ++second)
        s.feed(channel.render(anyBits, 5.0));
    EXPECT_TRUE(s.got.good.empty());
    EXPECT_EQ(s.got.bad, 0);
    EXPECT_EQ(s.d->telemetry.goodPackets.load(), 0);
    EXPECT_EQ(s.d->telemetry.badPackets.load(), 0);
}

TEST(SyncDemod, WildSamplesLeaveItReadyForTheNextBlock)
{
    // Non-finite and enormous values (a broken source, the conditioning filter ringing) must not
    // wedge the clock: the flight that follows decodes in full.
    SyncDecoder s;
    std::vector<float> wild;
    for (int i = 0; i < 3000; ++i) {
        const float v[] = {NAN, INFINITY, -INFINITY, 3e38f, -3e38f, 0.0f, 1e9f, -7.0f};
        wild.push_back(v[(i * 7 + i / 13) % 8]);
    }
    // Through the decoder's own entry, so that nothing clamps them first.
    for (float v : wild)
        s.d->ProcessSample(v);
    const std::vector<Block> blocks = flightBlocks(2);
    s.feed(audioOf(lineFor(blocks), samplesPerBit(1603), 20.0, false, 5));
    EXPECT_EQ(s.got.good, blocks);
}
