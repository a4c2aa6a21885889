#include "demod/sync_demod.h"

#include <algorithm>
#include <cmath>

#include "telemetry/crc16.h"

namespace nimbra {

namespace {

constexpr std::int64_t kRingMask = SyncDemodState::kRingSize - 1;
constexpr double kNominalBitLength = 5.0;  // samples per bit at 9,600 bit/s and 48,000 samples/s
constexpr double kMaxRateOffset = 0.004;   // the bit length is held within +-0.4 % of nominal

// The block's opening: the stop bit (or idle) before it, then 0xCA 0xCA '$' 'R' in 8N1.
constexpr int kOpeningBits = 41;
constexpr std::uint64_t kOpeningMask = (std::uint64_t{1} << kOpeningBits) - 1;
constexpr int kOpeningTolerance = 3;  // differing bits allowed; other alignments differ in 9+
constexpr int kOpeningCharacters = 4;
constexpr std::uint8_t kOpening[kOpeningCharacters] = {0xCA, 0xCA, '$', 'R'};

// Acquisition grid around the coarse start: time in quarter samples, bit length in 0.125 %.
constexpr double kAcquireEarly = 3.0;
constexpr double kAcquireLate = 4.0;
constexpr double kAcquireStep = 0.25;
constexpr double kAcquireRates[] = {-0.0025, -0.00125, 0.0, 0.00125, 0.0025};

// Clock loop, per character, on the measured edge error (in samples, roughly).
constexpr double kPhaseGain = 0.3;
constexpr double kRateGain = 0.0035;
constexpr double kLevelGain = 0.05;
constexpr double kMaxEdgeError = 1.5;  // samples
constexpr double kMinLevel = 1e-3;     // keeps divisions by the level finite in silence
// Samples are held within this magnitude (NaN reads as 0), so sums and times stay finite
// whatever the input.
constexpr float kMaxSample = 1e9f;

// Block layout, in characters counted from the first sync character.
constexpr int kKindCharacter = 4;      // 'T' (GPS) or 'M' (PTU)
constexpr int kLengthHigh = 10;        // GPS: 16-bit length field, big-endian
constexpr int kLengthLow = 11;         // PTU: the low byte alone
constexpr int kFirstChecked = 2;       // the '$'
constexpr int kOverhead = 14;          // two sync characters, ten header and two checksum bytes
constexpr int kMinLength = 20;
constexpr int kMaxLength = SyncBlock::kMaxBytes - 12;

// Repair. A data bit's doubt score is its largest sample magnitude plus twice the shortfall of
// its integral, both in units of the signal level: a clean bit scores about 1, a bit under a
// discriminator click (the typical error of a weak FM signal) 3.5 and more, a bit whose integral
// is near zero (the typical error in Gaussian noise) near 3. Bits above kDoubtLevel are counted;
// a block with more of them is too noisy for a repair to be trusted.
constexpr float kDoubtLevel = 3.5f;
constexpr int kMaxDoubtfulForRepair = 8;
constexpr int kMaxFramingErrorsForRepair = 2;
// A garbage "block" (noise that passed the opening test) has about half its framing bits wrong.
constexpr int kGarbageCheckAfter = 20;

constexpr std::uint64_t openingPattern()
{
    std::uint64_t p = 1;  // the bit before the first start bit
    for (int c = 0; c < kOpeningCharacters; ++c) {
        p = (p << 1);  // start bit
        for (int i = 0; i < 8; ++i)
            p = (p << 1) | ((kOpening[c] >> i) & 1u);
        p = (p << 1) | 1u;  // stop bit
    }
    return p;
}
constexpr std::uint64_t kOpeningPattern = openingPattern();

// Bits set in v, branch-free (the header test runs at every sample).
int popcount64(std::uint64_t v)
{
    v = v - ((v >> 1) & 0x5555555555555555ull);
    v = (v & 0x3333333333333333ull) + ((v >> 2) & 0x3333333333333333ull);
    v = (v + (v >> 4)) & 0x0F0F0F0F0F0F0F0Full;
    return static_cast<int>((v * 0x0101010101010101ull) >> 56);
}

int popcount8(unsigned v) { return popcount64(v & 0xFFu); }

// floor() as an integer without a library call (times are finite and far inside the range).
std::int64_t floorToInt(double x)
{
    const auto i = static_cast<std::int64_t>(x);
    return i - (x < double(i) ? 1 : 0);
}

float sampleAt(const SyncDemodState& s, std::int64_t i) { return s.ring[i & kRingMask]; }

// Integral of the signal over [a, b), sample i standing for the interval [i, i + 1). `peak`
// receives the largest magnitude among the samples touched.
double integrate(const SyncDemodState& s, double a, double b, float* peak)
{
    const std::int64_t i0 = floorToInt(a);
    const std::int64_t i1 = floorToInt(b);
    float top = 0.0f;
    double sum;
    if (i0 == i1) {
        const float v = sampleAt(s, i0);
        top = std::fabs(v);
        sum = double(v) * (b - a);
    } else {
        const float first = sampleAt(s, i0);
        top = std::fabs(first);
        sum = double(first) * (double(i0 + 1) - a);
        for (std::int64_t i = i0 + 1; i < i1; ++i) {
            const float v = sampleAt(s, i);
            top = std::max(top, std::fabs(v));
            sum += double(v);
        }
        const double tail = b - double(i1);
        if (tail > 0.0) {
            const float last = sampleAt(s, i1);
            top = std::max(top, std::fabs(last));
            sum += double(last) * tail;
        }
    }
    if (peak)
        *peak = top;
    return sum;
}

// Timing error at a bit boundary t where the signal goes to `newBit`, in samples: positive when
// t is late. Over one bit length centred on t the new level should fill exactly half; each
// sample of lateness moves one sample's worth of the old level to the new. Linear up to half a
// bit either way, and clipped so that a click cannot throw the clock.
double edgeError(const SyncDemodState& s, double t, int newBit)
{
    const double half = 0.5 * s.bitLength;
    const double v = s.signSense * integrate(s, t - half, t + half, nullptr) / (2.0 * s.level);
    return std::clamp(newBit ? v : -v, -kMaxEdgeError, kMaxEdgeError);
}

void endBlock(SyncDemodState& s)
{
    s.inBlock = false;
    s.characters = 0;
    s.expected = 0;
    s.kind = 0;
    s.framingErrors = 0;
    s.doubtfulBits = 0;
    s.suspectCount = 0;
}

// Fine timing from the opening's 41 known bits: the start and bit length of best correlation.
void acquire(SyncDemodState& s)
{
    const double coarse = s.charStart;
    double best = -1.0;
    double bestStart = coarse;
    double bestLength = kNominalBitLength;
    for (double rate : kAcquireRates) {
        const double t = kNominalBitLength * (1.0 + rate);
        for (double start = coarse - kAcquireEarly; start <= coarse + kAcquireLate;
             start += kAcquireStep) {
            double metric = 0.0;
            std::uint64_t bits = kOpeningPattern;
            for (int k = kOpeningBits - 2; k >= -1; --k, bits >>= 1) {
                const double a = start + k * t;
                const double v = s.signSense * integrate(s, a, a + t, nullptr);
                metric += (bits & 1u) ? v : -v;
            }
            if (metric > best) {
                best = metric;
                bestStart = start;
                bestLength = t;
            }
        }
    }
    s.bitLength = bestLength;
    s.level = std::max(best / (kOpeningBits * bestLength), kMinLevel);

    // The grid leaves up to an eighth of a sample and a bit length within 0.06 %; a straight
    // line through the edge errors of the opening's transitions refines both.
    double n = 0.0, sk = 0.0, se = 0.0, skk = 0.0, ske = 0.0;
    std::uint64_t bits = kOpeningPattern;
    int previous = static_cast<int>((bits >> (kOpeningBits - 1)) & 1u);
    for (int k = 0; k < kOpeningBits - 1; ++k) {
        const int bit = static_cast<int>((bits >> (kOpeningBits - 2 - k)) & 1u);
        if (bit != previous) {
            const double e = edgeError(s, bestStart + k * bestLength, bit);
            n += 1.0;
            sk += k;
            se += e;
            skk += double(k) * k;
            ske += k * e;
        }
        previous = bit;
    }
    const double slope = (n * ske - sk * se) / (n * skk - sk * sk);
    const double offset = (se - slope * sk) / n;
    s.bitLength = std::clamp(bestLength - slope, kNominalBitLength * (1.0 - kMaxRateOffset),
                             kNominalBitLength * (1.0 + kMaxRateOffset));
    s.charStart = bestStart - offset + (kOpeningBits - 1) * s.bitLength;
    for (int c = 0; c < kOpeningCharacters; ++c)
        s.chars[c] = kOpening[c];
    s.characters = kOpeningCharacters;
}

void noteSuspect(SyncDemodState& s, float score, int character, int bit)
{
    if (score > kDoubtLevel)
        ++s.doubtfulBits;
    int n = s.suspectCount;
    if (n == SyncDemodState::kSuspects) {
        if (score <= s.suspects[n - 1].score)
            return;
        --n;
    }
    int i = n;
    for (; i > 0 && s.suspects[i - 1].score < score; --i)
        s.suspects[i] = s.suspects[i - 1];
    s.suspects[i] = {score, character, bit};
    s.suspectCount = n + 1;
}

// Reads the character whose start-bit edge is at s.charStart and moves the clock on.
void readCharacter(SyncDemodState& s)
{
    const double t = s.bitLength;
    const double start = s.charStart;
    const double level = s.level;
    const int index = s.characters;

    int byte = 0;
    int bits[10];
    double magnitude = 0.0;
    for (int k = 0; k < 10; ++k) {
        float peak = 0.0f;
        const double a = start + k * t;
        const double v = s.signSense * integrate(s, a, a + t, &peak);
        const int bit = v > 0.0 ? 1 : 0;
        bits[k] = bit;
        magnitude += std::min(std::fabs(v) / t, 2.0 * level);
        if (k >= 1 && k <= 8) {
            byte |= bit << (k - 1);
            if (index >= kFirstChecked) {
                const double shortfall = std::max(0.0, 1.0 - std::fabs(v) / (t * level));
                const double score = double(peak) / level + 2.0 * shortfall;
                noteSuspect(s, static_cast<float>(score), index, k - 1);
            }
        }
    }
    if (bits[0] != 0)
        ++s.framingErrors;
    if (bits[9] != 1)
        ++s.framingErrors;
    s.chars[index] = static_cast<std::uint8_t>(byte);
    s.characters = index + 1;

    // Clock error: the mean edge error of the character's transitions, the framing bits taken as
    // sent, so there is always at least the start-bit edge.
    double error = 0.0;
    int edges = 0;
    int previous = 1;  // stop bit or idle before the start bit
    for (int k = 0; k < 10; ++k) {
        const int bit = k == 0 ? 0 : (k == 9 ? 1 : bits[k]);
        if (bit != previous) {
            error += edgeError(s, start + k * t, bit);
            ++edges;
        }
        previous = bit;
    }
    error /= edges;
    s.charStart = start + 10.0 * t - kPhaseGain * error;
    s.bitLength = std::clamp(t - kRateGain * error, kNominalBitLength * (1.0 - kMaxRateOffset),
                             kNominalBitLength * (1.0 + kMaxRateOffset));
    s.level = std::max(level + kLevelGain * (magnitude / 10.0 - level), kMinLevel);
}

// True when only a transmission, not the checksum's blind spot, can explain the block: no
// all-zero (or all-one) payload, which a checksum starting from 0 would pass.
bool repairable(const SyncDemodState& s)
{
    if (s.framingErrors > kMaxFramingErrorsForRepair || s.doubtfulBits > kMaxDoubtfulForRepair)
        return false;
    bool anyNonZero = false;
    bool anyNonFull = false;
    for (int i = kKindCharacter + 1; i < s.expected; ++i) {
        anyNonZero |= s.chars[i] != 0x00;
        anyNonFull |= s.chars[i] != 0xFF;
    }
    return anyNonZero && anyNonFull;
}

std::uint16_t checkRegister(const std::uint8_t* bytes, int length)
{
    std::uint16_t reg = 0;
    for (int i = 0; i < length; ++i)
        reg = crc16ShiftByte(reg, bytes[i]);
    return reg;
}

// Checks (and perhaps repairs) the finished block. True when it is to go to the framer.
bool finishBlock(SyncDemodState& s)
{
    const std::uint8_t* first = s.chars + kFirstChecked;
    const int length = s.expected - kFirstChecked;
    if (length <= 0 || length > SyncBlock::kMaxBytes)
        return false;
    bool good = checkRegister(first, length) == 0;
    int repaired = 0;
    if (!good && repairable(s)) {
        for (int i = 0; i < s.suspectCount && !good; ++i) {
            const SyncDemodState::Suspect& c = s.suspects[i];
            s.chars[c.character] ^= static_cast<std::uint8_t>(1u << c.bit);
            if (checkRegister(first, length) == 0) {
                good = true;
                repaired = 1;
            } else {
                s.chars[c.character] ^= static_cast<std::uint8_t>(1u << c.bit);
            }
        }
    }
    // A block that fails is still passed on (to be counted as bad) when its framing shows it
    // was a real transmission.
    const bool plausible = s.framingErrors * 20 <= s.expected;
    if (!good && !plausible)
        return false;
    SyncBlock& b = s.block;
    std::copy(first, first + length, b.bytes);
    if (!good) {
        // The header as recognised (the opening's 'R', the kind within one bit), so that the
        // framer sees the block and counts it as bad.
        b.bytes[1] = 'R';
        b.bytes[2] = s.kind == 1 ? 'T' : 'M';
    }
    b.length = length;
    b.crcGood = good;
    b.bitsRepaired = repaired;
    b.framingErrors = s.framingErrors;
    b.doubtfulBits = s.doubtfulBits;
    if (repaired != 0)
        ++s.blocksRepaired;
    return true;
}

// After each character: learn the block's kind and length, drop garbage, finish the block.
// Returns true when a block is ready.
bool afterCharacter(SyncDemodState& s)
{
    const int j = s.characters - 1;
    if (j == kKindCharacter) {
        const unsigned c = s.chars[j];
        if (popcount8(c ^ 'T') <= 1)
            s.kind = 1;
        else if (popcount8(c ^ 'M') <= 1)
            s.kind = 2;
        else {
            endBlock(s);
            return false;
        }
    } else if (j == kLengthLow) {
        const int length = s.kind == 1 ? s.chars[kLengthHigh] * 256 + s.chars[kLengthLow]
                                       : s.chars[kLengthLow];
        if (length < kMinLength || length > kMaxLength) {
            endBlock(s);
            return false;
        }
        s.expected = length + kOverhead;
    }
    if (j >= kGarbageCheckAfter && s.framingErrors * 4 > j) {
        endBlock(s);
        return false;
    }
    if (s.expected != 0 && s.characters == s.expected) {
        const bool ready = finishBlock(s);
        endBlock(s);
        return ready;
    }
    return false;
}

}  // namespace

bool syncDemodSample(SyncDemodState& s, float sample)
{
    if (!(std::fabs(sample) <= kMaxSample))
        sample = std::isnan(sample) ? 0.0f : std::copysign(kMaxSample, sample);
    const std::int64_t n = s.count;
    s.ring[n & kRingMask] = sample;
    s.count = n + 1;

    // Hard bit of the last five samples into this sample phase's register (1 = mark = low).
    const float sum5 = sample + sampleAt(s, n - 1) + sampleAt(s, n - 2) + sampleAt(s, n - 3)
                       + sampleAt(s, n - 4);
    std::uint64_t& reg = s.phaseBits[s.phase];
    reg = (reg << 1) | (sum5 < 0.0f ? 1u : 0u);
    if (++s.phase == SyncDemodState::kPhases)
        s.phase = 0;

    if (!s.inBlock) {
        const int differ = popcount64((reg ^ kOpeningPattern) & kOpeningMask);
        if (differ > kOpeningTolerance && kOpeningBits - differ > kOpeningTolerance)
            return false;
        endBlock(s);
        s.inBlock = true;
        s.signSense = differ <= kOpeningTolerance ? -1.0 : 1.0;
        // The last bit tested spans [n - 4, n + 1); the first start bit begins 40 bits earlier.
        s.charStart = double(n + 1) - (kOpeningBits - 1) * kNominalBitLength;
        s.characters = -1;  // acquisition pending until the whole opening (and margin) is in
        ++s.headersFound;
        return false;
    }

    const double available = double(s.count) - 2.0;
    if (s.characters < 0) {
        if (available < s.charStart + kAcquireLate + kOpeningBits * kNominalBitLength * 1.01)
            return false;
        acquire(s);
        return false;
    }
    if (available < s.charStart + 10.0 * s.bitLength)
        return false;
    readCharacter(s);
    return afterCharacter(s);
}

}  // namespace nimbra
