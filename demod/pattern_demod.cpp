#include "demod/pattern_demod.h"

#include <climits>

#include "demod/truncate.h"
#include "block/block_format.h"
#include "block/crc16.h"

namespace nimbra {

namespace {

// The window holds the sync characters first: character j of a pass is block offset j - 2.
constexpr int kFirst = block::kSyncCharacters;
constexpr int kHeaderEnd = kFirst + block::kHeaderBytes;  // characters needed for the length

}  // namespace

bool PatternDemod::step(float sample, float samplesPerBit, ScopeBuffer& scope) noexcept
{
    PatternDemodState& p = state;
    constexpr int kWindow = PatternDemodState::kWindow;
    if (p.writeIndex < 0 || p.writeIndex >= kWindow)
        p.writeIndex = 0;
    p.ring[p.writeIndex] = sample;
    p.ring[p.writeIndex + kWindow] = sample;
    if (++p.writeIndex == kWindow)
        p.writeIndex = 0;

    if (p.holdOff > 0) {
        --p.holdOff;
        return false;
    }
    p.headerClock.setSamplesPerBit(samplesPerBit);
    if (!headerMatches(p.ring + p.writeIndex, p.headerClock))
        return false;
    return capture(samplesPerBit, scope);
}

DemodBlock PatternDemod::block() const noexcept
{
    DemodBlock b;
    b.bytes = state.characters + kFirst;
    b.length = blockLength_;
    return b;
}

bool PatternDemod::capture(float samplesPerBit, ScopeBuffer& scope) noexcept
{
    PatternDemodState& p = state;
    constexpr int kWindow = PatternDemodState::kWindow;
    const float* window = p.ring + p.writeIndex;
    const float f = samplesPerBit;
    ++p.fullPasses;

    // Integrate and dump over the whole window. The scope gets the window's first 3,000 samples
    // (entry 0 excepted) with the latest bit as the decision, -1 before the first bit.
    float phase = 0.0f;
    float sum = 0.0f;
    int n = 0;
    int lastBit = 0;
    for (int o = 0; o < kWindow; ++o) {
        sum += window[o];
        phase = static_cast<float>(phase + 1.0f);
        if (phase >= f) {
            lastBit = sum > 0.0f ? 1 : 0;
            p.bits[n++] = static_cast<std::uint8_t>(lastBit);
            phase = static_cast<float>(phase - f);
            sum = 0.0f;
        }
        if (o < PatternDemodState::kScopeCopy) {
            scope.sample[o + 1].store(truncToInt(window[o + 1]));
            scope.decision[o + 1].store(lastBit != 0 ? 1 : -1);
        }
    }
    p.bitCount = n;
    scope.hold.store(1);

    // Character j: data bits 1 + 10j .. 8 + 10j, least significant first. Only characters whose
    // eight data bits this pass produced exist; the rest of the buffer belongs to older passes.
    int count = 0;
    for (int j = 0; 8 + 10 * j < n && j < PatternDemodState::kMaxCharacters; ++j) {
        int c = 0;
        for (int i = 0; i < 8; ++i)
            c |= p.bits[1 + 10 * j + i] << i;
        p.characters[j] = static_cast<std::uint8_t>(c);
        count = j + 1;
    }
    p.characterCount = count;

    if (count < kHeaderEnd)
        return false;
    const std::uint8_t* candidate = p.characters + kFirst;
    const BlockKind kind = block::kindOf(candidate[block::kKindOffset]);
    const int length = block::lengthOf(kind, candidate);
    if (length < block::kMinLength || length > block::kMaxLength)
        return false;
    const int bytes = length + block::kOverhead;
    if (kFirst + bytes > count)
        return false;  // the window is too short for this block at this clock
    if (crc16Register(candidate, static_cast<std::size_t>(bytes)) != 0)
        return false;
    blockLength_ = bytes;

    // Let the block's own samples pass without searching them again.
    const float holdOff = static_cast<float>(
        double(f) * double(static_cast<float>((length + block::kOverhead) * 10.0)));
    if (holdOff >= 2147483648.0f)
        p.holdOff = INT_MAX;
    else
        p.holdOff = holdOff > 0.0f ? static_cast<int>(holdOff) : 0;
    return true;
}

}  // namespace nimbra
