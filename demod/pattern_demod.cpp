// Pattern demodulator: finds whole packets by trying every start position one sample apart.
//
// In:  conditioned samples (Pattern mode only), the samples per bit.
// Out: the characters of each packet whose header, length and checksum are right, from its '$'
//      through its checksum, to the packet framer; a picture of the capture in the ScopeBuffer.
//
// For every sample outside a hold-off the oldest sample of the 15,000-sample window is tested as
// a packet start (header test, see pattern_header.h). A match runs the full pass over the whole
// window; an accepted packet then lets its own samples pass without searching.
#include <climits>

#include "demod/decoder.h"
#include "demod/truncate.h"

namespace nimbra {

namespace {

constexpr int kFirstBlockCharacter = 2;  // the '$' (characters 0 and 1 are sync characters)
constexpr int kLengthHigh = 10;          // length field, big-endian, 8 characters after the '$'
constexpr int kLengthLow = 11;
constexpr int kBlockOverhead = 12;       // characters of a block besides its L payload bytes

}  // namespace

void Decoder::patternSample(float s)
{
    PatternDemodState& p = demod_.pattern;
    constexpr int kWindow = PatternDemodState::kWindow;
    if (p.writeIndex < 0 || p.writeIndex >= kWindow)
        p.writeIndex = 0;
    p.ring[p.writeIndex] = s;
    p.ring[p.writeIndex + kWindow] = s;
    if (++p.writeIndex == kWindow)
        p.writeIndex = 0;

    if (p.holdOff > 0) {
        --p.holdOff;
        return;
    }
    const float samplesPerBit = params.samplesPerBit.load();
    p.headerClock.setSamplesPerBit(samplesPerBit);
    if (headerMatches(p.ring + p.writeIndex, p.headerClock))
        patternCapture(samplesPerBit);
}

void Decoder::patternCapture(float samplesPerBit)
{
    PatternDemodState& p = demod_.pattern;
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

    if (count <= kLengthLow)
        return;
    const int length = p.characters[kLengthHigh] * 256 + p.characters[kLengthLow];
    if (length < PatternDemodState::kMinBlockLength || length > PatternDemodState::kMaxBlockLength)
        return;
    const int last = length + kBlockOverhead + 1;  // the second checksum character
    if (last >= count)
        return;  // the window is too short for this block at this clock

    telemetry.crcRegister = 0;
    for (int j = kFirstBlockCharacter; j <= last; ++j)
        CrcAddByte(p.characters[j]);
    if (telemetry.crcRegister != 0)
        return;

    // The window starts with the first sync character's start bit.
    BlockTiming timing;
    timing.bitLength = double(f);
    timing.dollarStart = double(samplesConsumed_ - kWindow) + kFirstBlockCharacter * 10.0 * double(f);
    timing.startTolerance = 4.0;
    timing.rateTolerance = 0.001;
    setBlockTiming(timing);
    for (int j = kFirstBlockCharacter; j <= last; ++j)
        emitCharacter(p.characters[j]);

    // Let the block's own samples pass without searching them again.
    const float holdOff = static_cast<float>(
        double(f) * double(static_cast<float>((length + kBlockOverhead) * 10.0)));
    if (holdOff >= 2147483648.0f)
        p.holdOff = INT_MAX;
    else
        p.holdOff = holdOff > 0.0f ? static_cast<int>(holdOff) : 0;
}

}  // namespace nimbra
