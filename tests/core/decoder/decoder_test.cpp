// The Decoder as the stages' owner: what its listeners get (the block's origin in samples, the
// demodulator's account of the block, repaired bits), a PTU block read at its one-byte length
// by every demodulator, and the named entries called out of turn.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "demod/demod_type.h"
#include "support/blocks.h"
#include "support/recorder.h"
#include "support/short_flights.h"
#include "synth/synthesize.h"

namespace nimbra {
namespace {

using namespace nimbra::testing;

// A decoder with a fixed clock and the demodulator's polarity set for the synthesizer's signals.
std::unique_ptr<Decoder> decoderFor(int demodType)
{
    auto d = std::make_unique<Decoder>();
    d->params.demodType = demodType;
    d->params.invertSignal = demodType == kPatternDemod ? 1 : 0;
    d->setClock([] { return kFixedTimeMs; });
    return d;
}

TEST(Decoder, AFixCarriesTheSampleIndexAtWhichItsBlockFinished)
{
    synth::FlightSettings flight;
    flight.gpsBlocks = 6;
    synth::AudioChannelSettings audio;
    audio.ebN0Db = 25.0;
    audio.seed = 4;
    const synth::Recording rec = synth::synthesizeFlight(flight, audio);
    for (int demod : {kEdgeDemod, kLevelDemod, kPatternDemod, kSyncDemod}) {
        SCOPED_TRACE(demod);
        auto d = decoderFor(demod);
        Recorder l(*d);
        // Fed in uneven pieces: the index counts samples, not calls.
        std::size_t at = 0;
        for (std::size_t piece = 1; at < rec.samples.size(); piece = piece * 3 % 4097 + 1) {
            const std::size_t n = std::min(piece, rec.samples.size() - at);
            d->ProcessSamples(rec.samples.data() + at, n);
            at += n;
        }
        EXPECT_EQ(d->samplesConsumed(), static_cast<std::int64_t>(rec.samples.size()));
        ASSERT_EQ(l.fixes.size(), 6u);
        for (std::size_t i = 0; i < l.fixes.size(); ++i) {
            const FixRecord& f = l.fixes[i];
            EXPECT_EQ(f.sampleIndex, l.samplesAtFix[i]);
            // Not before the block's last bit has been received; the slicers hand its last
            // character on only when the line next rises (the next block, half a second later).
            const double end = rec.flight.fixes[i].endTimeS * 48000.0;
            EXPECT_GE(static_cast<double>(f.sampleIndex), end - 5.0) << i;
            const double latest = demod == kEdgeDemod || demod == kLevelDemod ? end + 24100.0
                                                                               : end + 15000.0;
            EXPECT_LE(static_cast<double>(f.sampleIndex), latest) << i;
        }
        // The packet listener hears each block with the same clock.
        ASSERT_FALSE(l.events.empty());
        EXPECT_EQ(l.events.back().sampleIndex, l.fixes.back().sampleIndex);
    }
}

TEST(Decoder, SampleBySampleAndInBlocksGiveTheSameIndex)
{
    synth::FlightSettings flight;
    flight.gpsBlocks = 3;
    const synth::Recording rec = synth::synthesizeFlight(flight, synth::AudioChannelSettings{});
    auto a = decoderFor(kSyncDemod);
    auto b = decoderFor(kSyncDemod);
    Recorder one(*a), many(*b);
    for (std::int16_t s : rec.samples)
        a->ProcessSample(static_cast<float>(s));
    b->ProcessSamples(rec.samples.data(), rec.samples.size());
    ASSERT_EQ(one.fixes.size(), 3u);
    ASSERT_EQ(many.fixes.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_EQ(one.fixes[i].sampleIndex, many.fixes[i].sampleIndex);
}

TEST(Decoder, RepairedBitsAndTheDemodulatorsAccountReachTheListenersOfThatBlockOnly)
{
    const Block block = flightBlocks(1)[0];
    std::vector<float> audio = blockWithWeakBits(block, {{40, 3}});
    const std::vector<float> clean = blockWithWeakBits(block, {});
    audio.insert(audio.end(), clean.begin(), clean.end());
    auto d = decoderFor(kSyncDemod);
    Recorder l(*d);
    for (float v : audio)
        d->ProcessSample(std::nearbyint(v));
    ASSERT_EQ(l.fixes.size(), 2u);
    ASSERT_EQ(l.events.size(), 2u);
    EXPECT_EQ(l.fixes[0].bitsRepaired, 1);
    EXPECT_EQ(l.events[0].bitsRepaired, 1);
    EXPECT_TRUE(l.fixes[0].crcGood);
    EXPECT_EQ(l.fixes[1].bitsRepaired, 0);
    EXPECT_EQ(l.events[1].bitsRepaired, 0);
    for (const PacketEvent& e : l.events) {
        EXPECT_EQ(e.kind, BlockKind::Gps);
        EXPECT_TRUE(e.signal.measured);
        // The data bits it read: all but those of the opening '$' 'R' it knew.
        EXPECT_EQ(e.signal.softBits, 8 * (static_cast<int>(block.size()) - 2));
    }
}

TEST(Decoder, EveryDemodulatorReadsAPtuBlockAtItsOneByteLength)
{
    // The byte before the length byte is not part of a PTU block's length: a block with 0x01
    // there ends after L + 12 bytes for the framer and for both block demodulators alike.
    synth::PtuBlockFields ptu;
    ptu.length = 60;
    ptu.lengthHigh = 0x01;
    ptu.channels[0] = {0x02, 0xFFFB};  // 5.0
    const Bytes block = ptuBlock(ptu);
    SerialLine line;
    line.addIdle(40);
    synth::sendBlock(line, block);
    line.addIdle(40);
    synth::sendBlock(line, gpsBlock());
    line.addCharacter(block::kSyncCharacter);  // the slicers hand a character on at the next rise
    line.addIdle(4000);
    const std::vector<float> levels = synth::modulateLevels(line.bits(), 4.992);
    for (int demod : {kEdgeDemod, kLevelDemod, kPatternDemod, kSyncDemod}) {
        SCOPED_TRACE(demod);
        auto d = decoderFor(demod);
        Recorder l(*d);
        for (float v : levels)
            d->ProcessSample(8000.0f * v);
        ASSERT_GE(l.events.size(), 2u);
        EXPECT_EQ(l.events[0].kind, BlockKind::Ptu);
        EXPECT_TRUE(l.events[0].crcGood);
        EXPECT_EQ(l.eventBytes[0], block);
        EXPECT_EQ(d->telemetry.ptuChannels[0], 5.0f);
        EXPECT_EQ(d->telemetry.badPackets, 0);
    }
}

TEST(Decoder, NamedEntriesCalledOutOfTurnChangeNothingTheyShouldNot)
{
    auto d = std::make_unique<Decoder>();
    d->setClock([] { return kFixedTimeMs; });
    // No PTU block has been framed: nothing to decode.
    d->DecodePtuBlock();
    EXPECT_FALSE(d->telemetry.ptuDecoded);
    // A GPS block framed, then the PTU decoding asked for: it is not a PTU block.
    feed(*d, gpsBlock());
    d->DecodePtuBlock();
    EXPECT_FALSE(d->telemetry.ptuDecoded);
    // The fix stage asked again shows the same fix again, as the framer would.
    d->decodedDisplayText.takeAll();
    d->updatePacketDisplay();
    EXPECT_EQ(d->decodedDisplayText.takeAll(),
              "06 Dec 2026 06:17:45 1A2B 1234 39.75000N 76.98000W 220\r");
    EXPECT_EQ(d->telemetry.goodPackets, 1);
}

}  // namespace
}  // namespace nimbra
