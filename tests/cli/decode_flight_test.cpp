// End to end through the library: synthesized flights decoded by every demodulator, fed the way
// the desktop program's file decoding feeds them (Decoder::ProcessSamples in chunks), compared
// line by line with the fixes the flight was made of.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "decoder/decoder.h"
#include "synth/random.h"
#include "synth/synthesize.h"

namespace {

using namespace nimbra::synth;

constexpr std::int64_t kClockMs = 1796537865000;  // 06 Dec 2026 06:17:45 UTC
const char* const kStamp = "06 Dec 2026 06:17:45 ";

struct Demod {
    const char* name;
    int type;
    bool invert;  // the Pattern demodulator takes a 1 bit as the high level
};
const Demod kDemods[] = {{"edge", 0, false}, {"level", 1, false}, {"pattern", 2, true}, {"sync", 3, false}};

struct Decoded {
    std::vector<std::string> lines;
    std::vector<nimbra::FixRecord> fixes;
    int good = 0;
    int bad = 0;
};

Decoded decode(const std::vector<std::int16_t>& samples, const Demod& demod, bool badCrc = false,
               bool psu = false, bool invert = false, float samplesPerBit = 4.992f)
{
    auto d = std::make_unique<nimbra::Decoder>();
    d->params.samplesPerBit = samplesPerBit;
    d->params.demodType = demod.type;
    d->params.invertSignal = (demod.invert != invert) ? 1 : 0;
    d->params.updateBadCrcPackets = badCrc ? 1 : 0;
    d->params.displayPsuData = psu ? 1 : 0;
    d->setClock([] { return kClockMs; });
    Decoded out;
    d->setFixListener([&out](const nimbra::FixRecord& r) {
        out.fixes.push_back(r);
        out.fixes.back().line = nullptr;
    });
    std::string text;
    for (std::size_t offset = 0; offset < samples.size(); offset += 500000) {
        d->ProcessSamples(samples.data() + offset, std::min<std::size_t>(500000, samples.size() - offset));
        text += d->decodedDisplayText.takeAll();
    }
    std::size_t start = 0;
    for (std::size_t cr; (cr = text.find('\r', start)) != std::string::npos; start = cr + 1)
        out.lines.push_back(text.substr(start, cr - start));
    EXPECT_EQ(start, text.size()) << "text after the last line";
    out.good = d->telemetry.goodPackets;
    out.bad = d->telemetry.badPackets;
    return out;
}

std::vector<std::string> expectedLines(const Flight& flight, bool withBad = false)
{
    std::vector<std::string> lines;
    for (const ExpectedFix& fix : flight.fixes)
        if (fix.crcGood || withBad)
            lines.push_back(kStamp + expectedLineTail(fix));
    return lines;
}

Recording cleanFlight(int seconds, double samplesPerBit = 4.992)
{
    FlightSettings flight;
    flight.gpsBlocks = seconds;
    flight.samplesPerBit = samplesPerBit;
    AudioChannelSettings audio;
    return synthesizeFlight(flight, audio);
}

TEST(DecodeFlight, CleanFlightGivesEveryLineWithEveryDemodulator)
{
    const Recording rec = cleanFlight(20);
    const std::vector<std::string> expected = expectedLines(rec.flight);
    ASSERT_EQ(expected.size(), 20u);
    for (const Demod& demod : kDemods) {
        SCOPED_TRACE(demod.name);
        const Decoded got = decode(rec.samples, demod);
        EXPECT_EQ(got.lines, expected);
        EXPECT_EQ(got.good, 40);  // 20 GPS and 20 PTU blocks
        EXPECT_EQ(got.bad, 0);
        ASSERT_EQ(got.fixes.size(), 20u);
        for (std::size_t i = 0; i < got.fixes.size(); ++i) {
            const ExpectedFix& x = rec.flight.fixes[i];
            EXPECT_EQ(got.fixes[i].transmitterId, 0x1A2Bu);
            EXPECT_EQ(got.fixes[i].timeCounter, x.timeCounter);
            EXPECT_EQ(static_cast<double>(got.fixes[i].latitude), rawToDegrees(x.latitudeRaw));
            EXPECT_EQ(static_cast<double>(got.fixes[i].longitude), rawToDegrees(x.longitudeRaw));
            EXPECT_EQ(static_cast<double>(got.fixes[i].altitude), x.altitudeMm / 1000.0);
            EXPECT_TRUE(got.fixes[i].crcGood);
            EXPECT_EQ(got.fixes[i].timeMs, kClockMs);
        }
    }
}

TEST(DecodeFlight, WholeBitLengthAndInvertedPolarity)
{
    // Five samples per bit exactly (9,600 bit/s), and the same flight with the other polarity,
    // which each demodulator decodes once its inversion is switched the other way.
    const Recording rec = cleanFlight(8, 5.0);
    FlightSettings flight;
    flight.gpsBlocks = 8;
    AudioChannelSettings audio;
    audio.invert = true;
    const Recording inverted = synthesizeFlight(flight, audio);
    for (const Demod& demod : kDemods) {
        SCOPED_TRACE(demod.name);
        EXPECT_EQ(decode(rec.samples, demod, false, false, false, 5.0f).lines, expectedLines(rec.flight));
        EXPECT_EQ(decode(inverted.samples, demod, false, false, true).lines, expectedLines(inverted.flight));
    }
}

TEST(DecodeFlight, PtuValuesFollowEachFix)
{
    const Recording rec = cleanFlight(5);
    const Decoded got = decode(rec.samples, kDemods[1], false, true);
    ASSERT_EQ(got.lines.size(), 5u);
    for (std::size_t i = 0; i < 5; ++i) {
        const ExpectedFix& x = rec.flight.fixes[i];
        std::string psu;
        char buf[32];
        for (double v : x.ptu) {
            std::snprintf(buf, sizeof buf, "%7.1f ", v);
            psu += buf;
        }
        EXPECT_EQ(got.lines[i], kStamp + expectedLineTail(x) + " " + psu);
        ASSERT_TRUE(got.fixes[i].hasPtu);
        for (int k = 0; k < 13; ++k)
            EXPECT_EQ(static_cast<double>(got.fixes[i].ptuChannels[k]), x.ptu[k]) << "channel " << k;
    }
}

TEST(DecodeFlight, GlitchesBetweenBlocksStillDecode)
{
    // Three flipped bits in every idle gap (each a false start bit on the line) cost nothing.
    FlightSettings settings;
    settings.gpsBlocks = 12;
    Flight flight = makeFlight(settings);
    Random random(99);
    const std::size_t bitsPerHalfSecond = static_cast<std::size_t>(24000 / settings.samplesPerBit);
    // Gaps: the first 0.25 s, then after each block (blocks last under 0.16 s of each half second).
    for (std::size_t half = 0; half < 2 * static_cast<std::size_t>(settings.gpsBlocks); ++half) {
        const std::size_t gapStart = static_cast<std::size_t>((0.25 + 0.5 * half + 0.17) * 48000 / settings.samplesPerBit);
        for (int k = 0; k < 3; ++k) {
            const std::size_t bit = gapStart + static_cast<std::size_t>(random.uniform() * (bitsPerHalfSecond / 2));
            if (bit < flight.line.size())
                flight.line.flipBit(bit);
        }
    }
    AudioChannel channel(AudioChannelSettings{});
    const std::vector<std::int16_t> samples = toPcm16(channel.render(flight.line.bits(), settings.samplesPerBit));
    for (const Demod& demod : kDemods) {
        SCOPED_TRACE(demod.name);
        const Decoded got = decode(samples, demod);
        EXPECT_EQ(got.lines, expectedLines(flight));
        EXPECT_EQ(got.good, 24);
    }
}

TEST(DecodeFlight, CorruptedChecksumsAreCountedBad)
{
    FlightSettings settings;
    settings.gpsBlocks = 20;
    settings.corruptEvery = 4;  // blocks 4, 8, 12, 16, 20
    const Recording rec = synthesizeFlight(settings, AudioChannelSettings{});
    ASSERT_EQ(rec.flight.corruptedBlocks, 5);
    for (int type : {0, 1, 3}) {
        SCOPED_TRACE(kDemods[type].name);
        const Decoded shown = decode(rec.samples, kDemods[type]);
        EXPECT_EQ(shown.lines, expectedLines(rec.flight));
        EXPECT_EQ(shown.good, 35);
        EXPECT_EQ(shown.bad, 5);

        // Shown anyway with the bad-checksum option, and marked in the fix record.
        const Decoded all = decode(rec.samples, kDemods[type], true);
        EXPECT_EQ(all.lines, expectedLines(rec.flight, true));
        ASSERT_EQ(all.fixes.size(), 20u);
        for (std::size_t i = 0; i < 20; ++i)
            EXPECT_EQ(all.fixes[i].crcGood, rec.flight.fixes[i].crcGood) << "fix " << i;
        EXPECT_EQ(all.good, 35);
        EXPECT_EQ(all.bad, 5);
    }
    // The Pattern demodulator checks the checksum before the framer sees a block: a bad block
    // never reaches it and is not counted at all.
    const Decoded pattern = decode(rec.samples, kDemods[2]);
    EXPECT_EQ(pattern.lines, expectedLines(rec.flight));
    EXPECT_EQ(pattern.good, 35);
    EXPECT_EQ(pattern.bad, 0);
}

TEST(DecodeFlight, SingleSampleClicksDecodeWithLevelAndSync)
{
    // One click in every GPS block: a single sample five times the signal level, of the other
    // polarity, in the middle of a data bit, enough to turn that bit's integral around. The Level
    // rule needs two samples on the new side and ignores it; the Sync demodulator copes with
    // clicks. The Pattern demodulator (plain integrate and dump) loses these blocks.
    FlightSettings settings;
    settings.gpsBlocks = 10;
    AudioChannelSettings audio;
    audio.amplitude = 5000.0;  // room for the click within 16 bits
    Recording rec = synthesizeFlight(settings, audio);
    const double spb = settings.samplesPerBit;
    for (const ExpectedFix& fix : rec.flight.fixes) {
        const double blockStart = fix.endTimeS * 48000.0 - 150 * 10 * spb;  // sync characters included
        // Character 40 (the '$' is character 2) is the block's byte at offset 38; its third bit.
        const auto click = static_cast<std::size_t>(blockStart + (40 * 10 + 3.5) * spb);
        ASSERT_LT(click, rec.samples.size());
        rec.samples[click] = static_cast<std::int16_t>(-5 * rec.samples[click]);
    }
    const Decoded level = decode(rec.samples, kDemods[1]);
    EXPECT_EQ(level.lines, expectedLines(rec.flight));
    const Decoded sync = decode(rec.samples, kDemods[3]);
    EXPECT_EQ(sync.lines, expectedLines(rec.flight));
    // The clicks are real bit errors: plain integrate-and-dump reads every clicked block wrong.
    const Decoded pattern = decode(rec.samples, kDemods[2]);
    EXPECT_TRUE(pattern.lines.empty());
}

TEST(DecodeFlight, NoiseAloneDecodesNothing)
{
    std::vector<std::int16_t> noise(48000 * 20);
    Random random(5);
    for (auto& s : noise)
        s = static_cast<std::int16_t>(std::lround(3000.0 * random.gaussian()));
    for (const Demod& demod : kDemods) {
        SCOPED_TRACE(demod.name);
        const Decoded got = decode(noise, demod, true);
        EXPECT_TRUE(got.lines.empty());
        EXPECT_EQ(got.good, 0);
    }
}

TEST(DecodeFlight, ModerateNoiseDecodesNearlyEveryFix)
{
    // 30 fixes behind a 7 kHz low-pass, fixed seed, each demodulator at a noise level where it
    // should lose at most a few: the Edge rule (a difference over three samples) needs the most
    // signal.
    struct Case {
        Demod demod;
        double ebN0Db;
        std::size_t atLeast;
    };
    const Case cases[] = {{kDemods[0], 18.0, 27},
                         {kDemods[1], 13.5, 27},
                         {kDemods[2], 11.0, 27},
                         {kDemods[3], 10.0, 27}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.demod.name);
        FlightSettings settings;
        settings.gpsBlocks = 30;
        AudioChannelSettings audio;
        audio.ebN0Db = c.ebN0Db;
        audio.lowPassHz = 7000.0;
        audio.seed = 42;
        const Recording rec = synthesizeFlight(settings, audio);
        const std::vector<std::string> expected = expectedLines(rec.flight);
        const Decoded got = decode(rec.samples, c.demod);
        // Every line decoded is one of the expected ones, in order.
        std::size_t next = 0;
        for (const std::string& line : got.lines) {
            while (next < expected.size() && expected[next] != line)
                ++next;
            EXPECT_LT(next, expected.size()) << "unexpected line " << line;
            ++next;
        }
        std::printf("[ figures  ] %s at %.1f dB: %zu of 30 fixes, good %d bad %d\n", c.demod.name,
                    c.ebN0Db, got.lines.size(), got.good, got.bad);
        EXPECT_GE(got.lines.size(), c.atLeast);
    }
}

}  // namespace
