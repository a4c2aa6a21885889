// Member definitions of SyncStage (demod/sync_stage.h). Included only by the .cpp file that
// instantiates the stage for a source: demod/sync_demod.cpp for receiver audio.
#pragma once

#include <algorithm>
#include <cmath>

#include "demod/sync_stage.h"
#include "block/crc16.h"

namespace nimbra {

namespace sync_detail {

constexpr double kNominalBitLength = 5.0;  // samples per bit at 9,600 bit/s and 48,000 samples/s
constexpr double kMaxRateOffset = 0.004;   // the bit length is held within +-0.4 % of nominal

// The block's opening: the stop bit (or idle) before it, then 0xCA 0xCA '$' 'R' in 8N1.
constexpr int kOpeningBits = 41;
constexpr std::uint64_t kOpeningMask = (std::uint64_t{1} << kOpeningBits) - 1;
constexpr int kOpeningTolerance = 3;  // differing bits allowed; other alignments differ in 9+
constexpr int kOpeningCharacters = 4;
constexpr std::uint8_t kOpening[kOpeningCharacters] = {block::kSyncCharacter,
                                                       block::kSyncCharacter, block::kStart,
                                                       block::kSecond};

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

// Characters counted from the first sync character: block offset k is character k + 2.
constexpr int kFirstChecked = block::kSyncCharacters;  // the '$'
constexpr int kKindCharacter = kFirstChecked + block::kKindOffset;
constexpr int kHeaderEnd = kFirstChecked + block::kHeaderBytes;  // characters the length needs

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

// Bits set in v, branch-free (the opening test runs at every sample).
inline int popcount64(std::uint64_t v)
{
    v = v - ((v >> 1) & 0x5555555555555555ull);
    v = (v & 0x3333333333333333ull) + ((v >> 2) & 0x3333333333333333ull);
    v = (v + (v >> 4)) & 0x0F0F0F0F0F0F0F0Full;
    return static_cast<int>((v * 0x0101010101010101ull) >> 56);
}

inline int popcount8(unsigned v) { return popcount64(v & 0xFFu); }

inline void endBlock(SyncStageState& s)
{
    s.inBlock = false;
    s.characters = 0;
    s.expected = 0;
    s.kind = BlockKind::None;
    s.framingErrors = 0;
    s.doubtfulBits = 0;
    s.softBits = 0;
    s.softSum = 0.0;
    s.softSumSquares = 0.0;
    s.suspectCount = 0;
}

inline void noteSuspect(SyncStageState& s, float score, int character, int bit)
{
    if (score > kDoubtLevel)
        ++s.doubtfulBits;
    int n = s.suspectCount;
    if (n == SyncStageState::kSuspects) {
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

// True when only a transmission, not the checksum's blind spot, can explain the block: no
// all-zero (or all-one) payload, which a checksum starting from 0 would pass.
inline bool repairable(const SyncStageState& s)
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

}  // namespace sync_detail

// Timing error at a bit boundary t where the signal goes to `newBit`, in samples: positive when
// t is late. Over one bit length centred on t the new level should fill exactly half; each
// sample of lateness moves one sample's worth of the old level to the new. Linear up to half a
// bit either way, and clipped so that a click cannot throw the clock.
template <class Source>
double SyncStage<Source>::edgeError(const Source& source, double t, int newBit) const noexcept
{
    using namespace sync_detail;
    const SyncStageState& s = state;
    const double half = 0.5 * s.bitLength;
    const double v = s.signSense * source.integrate(t - half, t + half, nullptr) / (2.0 * s.level);
    return std::clamp(newBit ? v : -v, -kMaxEdgeError, kMaxEdgeError);
}

// Fine timing from the opening's 41 known bits: the start and bit length of best correlation.
template <class Source>
void SyncStage<Source>::acquire(const Source& source) noexcept
{
    using namespace sync_detail;
    SyncStageState& s = state;
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
                const double v = s.signSense * source.integrate(a, a + t, nullptr);
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
            const double e = edgeError(source, bestStart + k * bestLength, bit);
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

// Reads the character whose start-bit edge is at charStart and moves the clock on.
template <class Source>
void SyncStage<Source>::readCharacter(const Source& source) noexcept
{
    using namespace sync_detail;
    SyncStageState& s = state;
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
        const double v = s.signSense * source.integrate(a, a + t, &peak);
        const int bit = v > 0.0 ? 1 : 0;
        bits[k] = bit;
        magnitude += std::min(std::fabs(v) / t, 2.0 * level);
        if (k >= 1 && k <= 8) {
            byte |= bit << (k - 1);
            if (index >= kFirstChecked) {
                const double soft = std::fabs(v) / t;
                ++s.softBits;
                s.softSum += soft;
                s.softSumSquares += soft * soft;
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
            error += edgeError(source, start + k * t, bit);
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

// Checks (and perhaps repairs) the finished block. True when it is to go to the framer.
template <class Source>
bool SyncStage<Source>::finishBlock() noexcept
{
    using namespace sync_detail;
    SyncStageState& s = state;
    const std::uint8_t* first = s.chars + kFirstChecked;
    const int length = s.expected - kFirstChecked;
    if (length <= 0 || length > block::kMaxBlockBytes)
        return false;
    const auto bytes = static_cast<std::size_t>(length);
    bool good = crc16Register(first, bytes) == 0;
    int repaired = 0;
    if (!good && repairable(s)) {
        for (int i = 0; i < s.suspectCount && !good; ++i) {
            const SyncStageState::Suspect& c = s.suspects[i];
            s.chars[c.character] ^= static_cast<std::uint8_t>(1u << c.bit);
            if (crc16Register(first, bytes) == 0) {
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
        b.bytes[1] = block::kSecond;
        b.bytes[block::kKindOffset] =
            s.kind == BlockKind::Gps ? block::kGpsKind : block::kPtuKind;
    }
    b.length = length;
    b.crcGood = good;
    b.bitsRepaired = repaired;
    b.signal.measured = true;
    b.signal.framingErrors = s.framingErrors;
    b.signal.doubtfulBits = s.doubtfulBits;
    b.signal.softBits = s.softBits;
    b.signal.softSum = s.softSum;
    b.signal.softSumSquares = s.softSumSquares;
    if (repaired != 0)
        ++s.blocksRepaired;
    return true;
}

// After each character: learn the block's kind and length, drop garbage, finish the block.
// Returns true when a block is ready.
template <class Source>
bool SyncStage<Source>::afterCharacter() noexcept
{
    using namespace sync_detail;
    SyncStageState& s = state;
    const int j = s.characters - 1;
    if (j == kKindCharacter) {
        const unsigned c = s.chars[j];
        if (popcount8(c ^ block::kGpsKind) <= 1)
            s.kind = BlockKind::Gps;
        else if (popcount8(c ^ block::kPtuKind) <= 1)
            s.kind = BlockKind::Ptu;
        else {
            endBlock(s);
            return false;
        }
    } else if (j == kHeaderEnd - 1) {
        const int length = block::lengthOf(s.kind, s.chars + kFirstChecked);
        if (length < block::kMinLength || length > block::kMaxLength) {
            endBlock(s);
            return false;
        }
        s.expected = kFirstChecked + length + block::kOverhead;
    }
    if (j >= kGarbageCheckAfter && s.framingErrors * 4 > j) {
        endBlock(s);
        return false;
    }
    if (s.expected != 0 && s.characters == s.expected) {
        const bool ready = finishBlock();
        endBlock(s);
        return ready;
    }
    return false;
}

template <class Source>
bool SyncStage<Source>::step(const Source& source) noexcept
{
    using namespace sync_detail;
    SyncStageState& s = state;
    std::uint64_t& reg = s.phaseBits[s.phase];
    reg = (reg << 1) | static_cast<std::uint64_t>(source.hardBit());
    if (++s.phase == SyncStageState::kPhases)
        s.phase = 0;

    const std::int64_t now = source.count();
    if (!s.inBlock) {
        const int differ = popcount64((reg ^ kOpeningPattern) & kOpeningMask);
        if (differ > kOpeningTolerance && kOpeningBits - differ > kOpeningTolerance)
            return false;
        endBlock(s);
        s.inBlock = true;
        s.signSense = differ <= kOpeningTolerance ? -1.0 : 1.0;
        // The last bit tested ends now; the first start bit begins 40 bits earlier.
        s.charStart = double(now) - (kOpeningBits - 1) * kNominalBitLength;
        s.characters = -1;  // acquisition pending until the whole opening (and margin) is in
        ++s.headersFound;
        return false;
    }

    const double available = double(now) - 2.0;
    if (s.characters < 0) {
        if (available < s.charStart + kAcquireLate + kOpeningBits * kNominalBitLength * 1.01)
            return false;
        acquire(source);
        return false;
    }
    if (available < s.charStart + 10.0 * s.bitLength)
        return false;
    readCharacter(source);
    return afterCharacter();
}

}  // namespace nimbra
