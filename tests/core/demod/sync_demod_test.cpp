// The Sync demodulator: flights at the bit-rate offsets real sondes have, in either polarity,
// through the audio and the radio channel model; the repair of one bit in doubt; no wrong block
// from two; nothing from noise; and the Sync stage fed by a soft-value source other than audio.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "demod/demod_type.h"
#include "demod/sync_stage.h"
#include "demod/sync_stage_impl.h"
#include "block/crc16.h"
#include "support/demod_harness.h"
#include "support/short_flights.h"
#include "synth/channel_rf.h"

using namespace nimbra::synth;
using namespace nimbra::testing;

namespace {

struct Received {
    std::vector<Block> good;
    std::vector<int> repaired;
    std::vector<nimbra::BlockSignal> signal;
    int bad = 0;
};

// The demodulator layer with the Sync demodulator selected; blocks sorted by their checksum.
struct SyncDecoder {
    std::unique_ptr<nimbra::testing::DemodHarness> h =
        std::make_unique<nimbra::testing::DemodHarness>();
    Received got;

    SyncDecoder() { h->params.demodType = nimbra::kSyncDemod; }

    void feed(const std::vector<float>& audio)
    {
        for (float v : audio)
            feedRaw(std::nearbyint(std::clamp(v, -32768.0f, 32767.0f)));
    }
    void feedRaw(float v)
    {
        const std::size_t before = h->blocks.size();
        h->feed(v);
        for (std::size_t i = before; i < h->blocks.size(); ++i) {
            const nimbra::testing::HandedBlock& b = h->blocks[i];
            if (nimbra::crc16Register(b.bytes.data(), b.bytes.size()) != 0) {
                ++got.bad;
                continue;
            }
            got.good.push_back(b.bytes);
            got.repaired.push_back(b.bitsRepaired);
            got.signal.push_back(b.signal);
        }
    }
    const nimbra::SyncStageState& stage() const { return h->demod.sync.stage.state; }
};

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
            EXPECT_EQ(s.got.bad, 0);
            // What it measured: clean framing, and soft values near the level of +-10,000.
            for (const nimbra::BlockSignal& signal : s.got.signal) {
                EXPECT_TRUE(signal.measured);
                EXPECT_EQ(signal.framingErrors, 0);
                ASSERT_GT(signal.softBits, 0);
                EXPECT_NEAR(signal.softSum / signal.softBits, 10000.0, 1500.0);
            }
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
            << s.stage().headersFound;
        EXPECT_EQ(s.got.good[0], block);
        EXPECT_EQ(s.got.repaired[0], 1);
        EXPECT_EQ(s.got.bad, 0);
        EXPECT_EQ(s.stage().blocksRepaired, 1u);
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
        EXPECT_EQ(s.got.bad, 1);
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
        s.feedRaw(v);
    const std::vector<Block> blocks = flightBlocks(2);
    s.feed(audioOf(lineFor(blocks), samplesPerBit(1603), 20.0, false, 5));
    EXPECT_EQ(s.got.good, blocks);
}

namespace {

// A soft-value source that is not audio: the ideal line of a bit sequence, each bit's level
// (-1 for a mark, +1 for a space, times 10,000) integrated exactly over any interval, as a
// detector that computes soft decisions its own way would deliver them.
class IdealLine {
public:
    IdealLine(const SerialLine& line, double spb) : bits_(line.bits()), spb_(spb) {}

    void advance() { ++count_; }
    bool done() const { return double(count_) > double(bits_.size()) * spb_; }

    std::int64_t count() const { return count_; }
    int hardBit() const { return integrate(double(count_) - spb_, double(count_), nullptr) < 0.0; }
    double integrate(double a, double b, float* peak) const
    {
        double sum = 0.0;
        const auto first = static_cast<long>(std::floor(a / spb_));
        const auto last = static_cast<long>(std::floor(b / spb_));
        for (long k = first; k <= last; ++k) {
            const double from = std::max(a, double(k) * spb_);
            const double to = std::min(b, double(k + 1) * spb_);
            if (to > from)
                sum += level(k) * (to - from);
        }
        if (peak)
            *peak = 10000.0f;
        return sum;
    }

private:
    double level(long k) const
    {
        const bool mark = k < 0 || k >= static_cast<long>(bits_.size()) || bits_[k] != 0;
        return mark ? -10000.0 : 10000.0;
    }

    std::vector<std::uint8_t> bits_;
    double spb_;
    std::int64_t count_ = 0;
};

}  // namespace

TEST(SyncDemod, TheStageTakesItsSoftValuesFromAnySource)
{
    const std::vector<Block> blocks = flightBlocks(4);
    const SerialLine line = lineFor(blocks);
    IdealLine source(line, samplesPerBit(-1200));
    nimbra::SyncStage<IdealLine> stage;
    std::vector<Block> got;
    while (!source.done()) {
        source.advance();
        if (stage.step(source)) {
            const nimbra::DemodBlock b = stage.block();
            got.emplace_back(b.bytes, b.bytes + b.length);
            EXPECT_EQ(b.bitsRepaired, 0);
            EXPECT_EQ(b.signal.framingErrors, 0);
            EXPECT_NEAR(b.signal.softSum / b.signal.softBits, 10000.0, 1.0);
        }
    }
    EXPECT_EQ(got, blocks);
}
