// Decoder::interruptStream, the break in live audio when capture is lost: every block completed
// before the break is decoded, even by the demodulators that decide late; a block cut by the
// break never becomes a line, even while bad-checksum blocks are shown; it counts as bad; and
// decoding goes on after the break as before.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "decoder/decoder.h"
#include "demod/demod_type.h"
#include "synth/synthesize.h"

using namespace nimbra;
using namespace nimbra::synth;

namespace {

struct Run {
    Recording recording;
    std::vector<std::string> expectedTails;  // one per GPS block, in order
};

const Run& recordedFlight()
{
    static const Run run = [] {
        FlightSettings settings;
        settings.gpsBlocks = 12;
        AudioChannelSettings audio;
        Run r{synthesizeFlight(settings, audio), {}};
        for (const ExpectedFix& fix : r.recording.flight.fixes)
            r.expectedTails.push_back(expectedLineTail(fix));
        return r;
    }();
    return run;
}

std::size_t sampleAt(double seconds) { return static_cast<std::size_t>(seconds * 48000.0); }

void feed(Decoder& d, std::size_t from, std::size_t to)
{
    const std::vector<std::int16_t>& s = recordedFlight().recording.samples;
    to = std::min(to, s.size());
    if (from < to)
        d.ProcessSamples(s.data() + from, to - from);
}

// Lines taken from the display text, without their 20-character time stamp and separator.
std::vector<std::string> takeTails(Decoder& d)
{
    std::vector<std::string> tails;
    const std::string text = d.decodedDisplayText.takeAll();
    std::size_t begin = 0;
    for (std::size_t end; (end = text.find('\r', begin)) != std::string::npos; begin = end + 1)
        tails.push_back(text.substr(begin + 21, end - begin - 21));
    return tails;
}

std::vector<std::string> expectedRange(std::size_t first, std::size_t end)
{
    const std::vector<std::string>& all = recordedFlight().expectedTails;
    return {all.begin() + static_cast<std::ptrdiff_t>(first), all.begin() + static_cast<std::ptrdiff_t>(end)};
}

class StreamGapTest : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override
    {
        decoder_.setDiagnosticSink([](const char*) {});
        decoder_.params.demodType = GetParam();
        // The Pattern demodulator reads a positive level as a 1 bit; the synthesizer's mark is low.
        decoder_.params.invertSignal = GetParam() == kPatternDemod ? 1 : 0;
        decoder_.params.updateBadCrcPackets = 1;  // a cut block must not show even so
    }
    Decoder decoder_;
};

}  // namespace

// Cut in the middle of GPS block 4 and resumed in the middle of GPS block 8: blocks 0-3 all come
// out (none left behind in a demodulator's look-ahead), nothing from the two cut halves, and
// every block from 9 on comes out again.
TEST_P(StreamGapTest, CutBlocksNeverBecomeLinesAndNothingBeforeTheBreakIsLeftBehind)
{
    const std::vector<ExpectedFix>& fixes = recordedFlight().recording.flight.fixes;
    ASSERT_EQ(fixes.size(), 12u);
    const std::size_t cut = sampleAt(fixes[4].endTimeS - 0.02);
    const std::size_t resume = sampleAt(fixes[8].endTimeS - 0.02);

    feed(decoder_, 0, cut);
    const int badBefore = decoder_.telemetry.badPackets;
    decoder_.interruptStream();
    EXPECT_EQ(takeTails(decoder_), expectedRange(0, 4));
    // The slicers hand the framer the cut block's first half, which counts as bad; the Pattern
    // and Sync demodulators hand over whole blocks only, and drop it.
    EXPECT_EQ(decoder_.telemetry.badPackets, badBefore + (GetParam() < kPatternDemod ? 1 : 0));

    feed(decoder_, resume, recordedFlight().recording.samples.size());
    EXPECT_EQ(takeTails(decoder_), expectedRange(9, 12));
}

// A break between blocks loses nothing and shows nothing of its own.
TEST_P(StreamGapTest, ABreakBetweenBlocksLosesNothing)
{
    const std::vector<ExpectedFix>& fixes = recordedFlight().recording.flight.fixes;
    const std::size_t cut = sampleAt(fixes[5].endTimeS + 0.05);
    feed(decoder_, 0, cut);
    decoder_.interruptStream();
    EXPECT_EQ(takeTails(decoder_), expectedRange(0, 6));
    const int bad = decoder_.telemetry.badPackets;
    feed(decoder_, cut, recordedFlight().recording.samples.size());
    EXPECT_EQ(takeTails(decoder_), expectedRange(6, 12));
    EXPECT_EQ(decoder_.telemetry.badPackets, bad);
    // Breaks in a row, or one before any sample, are harmless.
    Decoder fresh;
    fresh.interruptStream();
    fresh.interruptStream();
    EXPECT_EQ(fresh.telemetry.goodPackets + fresh.telemetry.badPackets, 0);
}

std::string demodName(const ::testing::TestParamInfo<int>& info)
{
    static const char* const kNames[] = {"Edge", "Level", "Pattern", "Sync"};
    return kNames[info.param];
}

INSTANTIATE_TEST_SUITE_P(EveryDemodulator, StreamGapTest, ::testing::Values(0, 1, 2, 3), demodName);
