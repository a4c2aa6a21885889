// The Pattern demodulator: clean packets at 4.992 and 5.0 samples per bit, the hold-off, the
// scope picture of a capture, rejected candidates, and a comparison of the fast header test with
// a plain 299-sample integrate-and-dump on noisy recordings, filter on and off.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "demod/demod_type.h"
#include "demod/pattern_header.h"
#include "block/block_format.h"
#include "block/crc16.h"
#include "support/blocks.h"
#include "support/demod_harness.h"
#include "support/signals.h"

using nimbra::testing::Bytes;
using nimbra::testing::DemodHarness;
using nimbra::testing::LineWriter;
using nimbra::testing::randomGpsBlock;
using nimbra::testing::withSync;

namespace {

constexpr float kA = 8000.0f;  // the Pattern demodulator reads a positive sum as a 1 bit
constexpr int kWindow = 15000;

std::vector<int> ints(const Bytes& bytes) { return std::vector<int>(bytes.begin(), bytes.end()); }

void setUp(DemodHarness& t, float samplesPerBit)
{
    t.params.demodType = nimbra::kPatternDemod;
    t.params.doFiltering = 0;
    t.params.samplesPerBit = samplesPerBit;
}

// Idle line, then the block with its sync characters from sample `start` on, then idle.
std::vector<float> cleanPacket(double spb, const Bytes& block, int idleBits, int total)
{
    LineWriter w(spb, kA, -kA);
    w.idle(idleBits);
    w.characters(withSync(block));
    while (static_cast<int>(w.samples.size()) < total)
        w.idle(1);
    return w.samples;
}

// ---- The straightforward demodulator the fast one must match ----------------------------------

// Integrate and dump `count` samples from window offset 0, fresh phase and sum.
int integrateAndDump(const float* window, int count, float f, int* bits)
{
    float h = 0.0f;
    float s = 0.0f;
    int n = 0;
    for (int o = 0; o < count; ++o) {
        s = static_cast<float>(double(s) + double(window[o]));
        h = static_cast<float>(double(h) + 1.0);
        if (h >= f) {
            bits[n++] = s > 0.0f ? 1 : 0;
            h = static_cast<float>(double(h) - double(f));
            s = 0.0f;
        }
    }
    return n;
}

// Characters whose eight data bits were produced.
int characters(const int* bits, int n, int* chars)
{
    int count = 0;
    for (int j = 0; 8 + 10 * j < n; ++j) {
        int c = 0;
        for (int i = 0; i < 8; ++i)
            c += bits[1 + 10 * j + i] << i;
        chars[count++] = c;
    }
    return count;
}

bool plainHeaderMatches(const float* window, float f)
{
    static int bits[299];
    static int chars[30];
    const int n = characters(bits, integrateAndDump(window, 299, f, bits), chars);
    return n >= 6 && chars[0] == 0xCA && chars[1] == 0xCA && chars[2] == '$' && chars[3] == 'R'
           && (chars[4] == 'T' || chars[4] == 'M') && (chars[5] == '1' || chars[5] == '2');
}

class ReferencePattern {
public:
    std::vector<int> out;
    std::vector<long> outIndex;
    int fullPasses = 0;

    void sample(float s, float f, long index)
    {
        ring_[w_] = s;
        w_ = (w_ + 1) % kWindow;
        if (hold_ > 0) {
            --hold_;
            return;
        }
        for (int o = 0; o < 299; ++o)
            window_[o] = ring_[(w_ + o) % kWindow];
        if (!plainHeaderMatches(window_.data(), f))
            return;
        ++fullPasses;
        for (int o = 0; o < kWindow; ++o)
            window_[o] = ring_[(w_ + o) % kWindow];
        const int n = characters(bits_.data(), integrateAndDump(window_.data(), kWindow, f, bits_.data()),
                                 chars_.data());
        if (n < 12)
            return;
        Bytes block(chars_.begin() + 2, chars_.begin() + std::min(n, 2 + nimbra::block::kMaxBlockBytes));
        const int length = nimbra::block::lengthOf(nimbra::block::kindOf(block[2]), block.data());
        if (length < 20 || length > 300 || length + 13 >= n)
            return;
        block.resize(static_cast<std::size_t>(length) + 12);
        if (nimbra::crc16Register(block.data(), block.size()) != 0)
            return;
        for (int c : block) {
            out.push_back(c);
            outIndex.push_back(index);
        }
        hold_ = static_cast<int>(static_cast<float>(double(f) * double(static_cast<float>((length + 12) * 10.0))));
    }

private:
    std::vector<float> ring_ = std::vector<float>(kWindow, 0.0f);
    std::vector<float> window_ = std::vector<float>(kWindow, 0.0f);
    std::vector<int> bits_ = std::vector<int>(kWindow, 0);
    std::vector<int> chars_ = std::vector<int>(kWindow, 0);
    int w_ = 0;
    int hold_ = 0;
};

// The conditioning filter written out plainly, to give the reference the same input.
struct ReferenceFilter {
    float x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    float operator()(float s)
    {
        const float t = static_cast<float>(double(s) * 0.000030517578125);
        const auto d = [](float v) { return static_cast<double>(v); };
        const float sum = static_cast<float>(d(4.0980487f) * d(t) + d(-7.996491f) * d(x1)
                                             + d(3.9054606f) * d(x2) - d(-7.9999657f) * d(y1)
                                             - d(3.9947658f) * d(y2));
        const float y = static_cast<float>(double(sum) / double(4.0052376f));
        x2 = x1;
        x1 = t;
        y2 = y1;
        y1 = y;
        return static_cast<float>(double(y) * 32678.0);
    }
};

// What AC coupling (a sound card's input) does to the line, and what the conditioning filter
// undoes: the filter's inverse, so that the filtered recording holds packets again.
std::vector<double> acCoupled(const std::vector<float>& in)
{
    const double b0 = 4.0980487, b1 = -7.996491, b2 = 3.9054606;
    const double a0 = 4.0052376, a1 = -7.9999657, a2 = 3.9947658;
    std::vector<double> out(in.size());
    double i1 = 0, i2 = 0, o1 = 0, o2 = 0;
    for (std::size_t n = 0; n < in.size(); ++n) {
        const double i0 = static_cast<double>(in[n]);
        const double o0 = (a0 * i0 + a1 * i1 + a2 * i2 - b1 * o1 - b2 * o2) / b0;
        out[n] = o0;
        i2 = i1;
        i1 = i0;
        o2 = o1;
        o1 = o0;
    }
    return out;
}

// Packets of assorted lengths, some corrupted, at random gaps, in noise.
std::vector<float> recording(double spb, double noiseSigma, unsigned seed, bool acCouple = false)
{
    LineWriter w(spb, kA, -kA);
    nimbra::testing::Noise pick(seed);
    w.idle(200);
    for (int p = 0; p < 12; ++p) {
        Bytes block = randomGpsBlock(20 + (p * 37) % 120, seed + p);
        if (p % 4 == 3)
            block[15] ^= 0x10;  // wrong checksum
        w.characters(withSync(block));
        w.idle(5 + static_cast<int>(std::fabs(pick.next()) * 80.0));
    }
    w.idle(3200);
    nimbra::testing::Noise noise(seed * 7919u + 1u);
    std::vector<float> noisy(w.samples.size());
    for (std::size_t i = 0; i < noisy.size(); ++i)
        noisy[i] = static_cast<float>(double(w.samples[i]) + noiseSigma * noise.next());
    std::vector<double> line(noisy.begin(), noisy.end());
    if (acCouple)
        line = acCoupled(noisy);
    std::vector<float> s(line.size());
    for (std::size_t i = 0; i < s.size(); ++i)
        s[i] = static_cast<float>(std::round(line[i]));
    return s;
}

}  // namespace

TEST(DemodPattern, CapturesACleanPacketAtFiveSamplesPerBit)
{
    const Bytes block = randomGpsBlock(40);
    const std::vector<float> signal = cleanPacket(5.0, block, 100, 20000);
    auto harness = std::make_unique<DemodHarness>();
    DemodHarness& t = *harness;
    setUp(t, 5.0f);
    // The packet's first start bit is sample 500. Windows that start up to two samples early
    // integrate each bit mostly over its own samples, so the first match is the window starting
    // at 498, tested once sample 498 + 14,999 has arrived.
    const long capture = 498 + kWindow - 1;
    for (long i = 0; i < capture; ++i)
        t.feed(signal[i]);
    const int entry0 = t.scope.sample[0].load();
    EXPECT_EQ(t.demod.pattern.state.fullPasses, 0u);
    t.feed(signal[capture]);

    EXPECT_EQ(t.characters, ints(block));  // '$' through the checksum, no sync characters
    EXPECT_EQ(t.sampleIndex.front(), capture);
    EXPECT_EQ(t.sampleIndex.back(), capture);
    EXPECT_EQ(t.demod.pattern.state.holdOff, 50 * (40 + 12));
    ASSERT_EQ(t.blocks.size(), 1u);
    EXPECT_EQ(t.blocks[0].bitsRepaired, 0);
    EXPECT_FALSE(t.blocks[0].signal.measured);

    // Scope picture: entry k is window offset k. Offsets 0-1 idle, 2-6 the start bit, then the
    // data bits of 0xCA (0, 1, 0, ...). Bits are decided after offsets 4, 9, 14, 19: 0, 0, 1, 0.
    const nimbra::ScopeBuffer& scope = t.scope;
    EXPECT_EQ(scope.hold.load(), 1);
    EXPECT_EQ(scope.sample[0].load(), entry0);  // entry 0 is not part of the picture
    EXPECT_EQ(scope.sample[1].load(), 8000);
    EXPECT_EQ(scope.sample[2].load(), -8000);
    EXPECT_EQ(scope.sample[13].load(), 8000);
    for (int k : {1, 5, 9, 10, 14, 20})
        EXPECT_EQ(scope.decision[k].load(), -1) << k;
    for (int k : {15, 19})
        EXPECT_EQ(scope.decision[k].load(), 1) << k;

    // The rest of the recording captures nothing more; the picture stays while held.
    const int writeIndex = scope.writeIndex.load();
    for (std::size_t i = capture + 1; i < signal.size(); ++i)
        t.feed(signal[i]);
    EXPECT_EQ(t.demod.pattern.state.fullPasses, 1u);
    EXPECT_EQ(t.characters.size(), block.size());
    EXPECT_EQ(scope.writeIndex.load(), writeIndex);
}

TEST(DemodPattern, CapturesACleanPacketAt4992SamplesPerBit)
{
    const Bytes block = randomGpsBlock(60, 3);
    const std::vector<float> signal = cleanPacket(4.992, block, 100, 22000);
    auto harness = std::make_unique<DemodHarness>();
    DemodHarness& t = *harness;
    setUp(t, 4.992f);
    t.feed(signal);
    EXPECT_EQ(t.characters, ints(block));
    ASSERT_FALSE(t.sampleIndex.empty());
    EXPECT_GE(t.sampleIndex.front(), 499 - 3 + kWindow - 1);
    EXPECT_LE(t.sampleIndex.front(), 499 + kWindow - 1);
    EXPECT_EQ(t.demod.pattern.state.fullPasses, 1u);
}

TEST(DemodPattern, HoldOffIsThePacketLengthInSamples)
{
    // float(4.992 x 720) = 3594.24: 3594 samples; then one packet right after another is still
    // found.
    const Bytes a = randomGpsBlock(60, 4);
    const Bytes b = randomGpsBlock(25, 5);
    LineWriter w(4.992, kA, -kA);
    w.idle(100);
    w.characters(withSync(a));
    w.idle(2);
    w.characters(withSync(b));
    w.idle(3200);
    auto harness = std::make_unique<DemodHarness>();
    DemodHarness& t = *harness;
    setUp(t, 4.992f);
    long i = 0;
    while (t.characters.empty() && i < static_cast<long>(w.samples.size()))
        t.feed(w.samples[i++]);
    EXPECT_EQ(t.demod.pattern.state.holdOff, 3594);
    for (; i < static_cast<long>(w.samples.size()); ++i)
        t.feed(w.samples[i]);
    Bytes both = a;
    both.insert(both.end(), b.begin(), b.end());
    EXPECT_EQ(t.characters, ints(both));
    EXPECT_EQ(t.demod.pattern.state.fullPasses, 2u);
}

TEST(DemodPattern, RejectsBadChecksumsAndLengthsButKeepsSearching)
{
    struct Case {
        const char* what;
        float spb;
        int lengthField;
        int payload;
        bool corrupt;
        bool accepted;
    };
    const Case cases[] = {
        {"one wrong character", 5.0f, 40, 40, true, false},
        {"L = 19", 5.0f, 19, 19, false, false},
        {"L = 20", 5.0f, 20, 20, false, true},
        {"L = 286 fills the window at 5.0", 5.0f, 286, 286, false, true},
        {"L = 287 needs more than the window at 5.0", 5.0f, 287, 287, false, false},
        {"L = 300 at 4.5", 4.5f, 300, 300, false, true},
        {"L = 301 at 4.5", 4.5f, 301, 301, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes block = randomGpsBlock(c.payload, 9, c.lengthField);
        if (c.corrupt)
            block[20] ^= 0x01;
        const Bytes good = randomGpsBlock(30, 10);
        LineWriter w(static_cast<double>(c.spb), kA, -kA);
        w.idle(100);
        w.characters(withSync(block));
        w.idle(50);
        w.characters(withSync(good));
        w.idle(3400);
        auto harness = std::make_unique<DemodHarness>();
    DemodHarness& t = *harness;
        setUp(t, c.spb);
        t.feed(w.samples);
        Bytes expected = c.accepted ? block : Bytes{};
        expected.insert(expected.end(), good.begin(), good.end());
        EXPECT_EQ(t.characters, ints(expected));
        EXPECT_GE(t.demod.pattern.state.fullPasses, 2u);
        EXPECT_EQ(t.scope.hold.load(), 1);
    }
}

TEST(DemodPattern, AClockTooSlowForTheHeaderNeverMatches)
{
    // At 5.1 samples per bit the 299 samples hold bits 0-57 only; the last data bit of the sixth
    // character (bit 58) was never produced, so no window is a candidate.
    const Bytes block = randomGpsBlock(30);
    auto harness = std::make_unique<DemodHarness>();
    DemodHarness& t = *harness;
    setUp(t, 5.1f);
    t.feed(cleanPacket(5.1, block, 100, 20000));
    EXPECT_EQ(t.demod.pattern.state.fullPasses, 0u);
    EXPECT_TRUE(t.characters.empty());
}

TEST(DemodPattern, ANonsenseClockFindsNothing)
{
    // A stored setting can hold anything: no bits at all (NaN, huge) or a bit per sample.
    const std::vector<float> signal = cleanPacket(5.0, randomGpsBlock(30), 100, 20000);
    for (float f : {NAN, 0.0f, -3.0f, 1.0e9f}) {
        SCOPED_TRACE(f);
        auto harness = std::make_unique<DemodHarness>();
    DemodHarness& t = *harness;
        setUp(t, f);
        t.feed(signal);
        EXPECT_TRUE(t.characters.empty());
    }
}

TEST(DemodPattern, FastHeaderTestAgreesWithThePlainOneEverywhere)
{
    const std::vector<float> s = recording(5.0, 2500.0, 21);
    for (float f : {4.0f, 4.5f, 4.992f, 5.0f, 5.07f, 5.0714f, 6.0f}) {
        SCOPED_TRACE(f);
        nimbra::HeaderClock clock;
        clock.setSamplesPerBit(f);
        int matches = 0;
        for (std::size_t start = 0; start + 299 <= s.size(); ++start) {
            const bool plain = plainHeaderMatches(s.data() + start, f);
            ASSERT_EQ(nimbra::headerMatches(s.data() + start, clock), plain) << start;
            matches += plain;
        }
        if (f == 4.992f || f == 5.0f) {
            EXPECT_GE(matches, 12);
        }
    }
}

TEST(DemodPattern, HandsOverTheSameCharactersAsThePlainDemodulator)
{
    for (double spb : {4.992, 5.0}) {
        for (int filter : {0, 1}) {
            for (double sigma : {0.0, 3000.0, 6000.0}) {
                SCOPED_TRACE(testing::Message() << spb << " filter " << filter << " noise " << sigma);
                const std::vector<float> s = recording(spb, sigma, 5u + static_cast<unsigned>(sigma), filter != 0);
                auto harness = std::make_unique<DemodHarness>();
    DemodHarness& t = *harness;
                setUp(t, static_cast<float>(spb));
                t.params.doFiltering = filter;
                ReferencePattern ref;
                ReferenceFilter refFilter;
                for (std::size_t i = 0; i < s.size(); ++i) {
                    t.feed(s[i]);
                    ref.sample(filter ? refFilter(s[i]) : s[i], static_cast<float>(spb),
                               static_cast<long>(i));
                }
                EXPECT_EQ(t.characters, ref.out);
                EXPECT_EQ(t.sampleIndex, ref.outIndex);
                EXPECT_EQ(static_cast<int>(t.demod.pattern.state.fullPasses), ref.fullPasses);
                EXPECT_GT(ref.fullPasses, 0);
                if (sigma == 0.0) {
                    // Each good block matches once; each of the three bad ones at the five
                    // start positions from two samples early to two late.
                    EXPECT_EQ(ref.fullPasses, 9 + 3 * 5);
                }
            }
        }
    }
}
