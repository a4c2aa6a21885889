// The per-sample entry: inversion, conditioning filter, then either the Edge/Level slicer with its
// byte framer or one of the block demodulators, and the scope rings.
//
// In:  one sample (a 16-bit PCM value as a float), the decoder parameters.
// Out: characters to the packet framer (through emitCharacter), the automatic threshold, the
//      ScopeBuffer.
#include <algorithm>
#include <cmath>
#include <utility>

#include "demod/decoder.h"
#include "demod/demod_type.h"
#include "demod/truncate.h"

namespace nimbra {

namespace {

// Running mean weights, as single-precision values (0.000500000024 and 0.999499977).
constexpr float kMeanNew = 0.0005f;
constexpr float kMeanOld = 0.9995f;
// Automatic threshold: this multiple of the RMS of the conditioned signal.
constexpr double kThresholdPerRms = 1.225;
// Bits per run: (N + 3) / 5, the nearest whole number of 5-sample bits.
constexpr int kSamplesPerBit = 5;
constexpr int kRunRounding = 3;

}  // namespace

void Decoder::setByteTap(ByteTap tap) { byteTap_ = std::move(tap); }

void Decoder::emitCharacter(int character)
{
    if (byteTap_)
        byteTap_(character);
    ProcessPacketByte(character);
}

void Decoder::writeScope(int sample, int decision)
{
    int index = scope.writeIndex.load();
    if (index < 0 || index >= ScopeBuffer::kSize)
        index = 0;
    scope.sample[index].store(sample);
    scope.decision[index].store(decision);
    ++index;
    scope.writeIndex.store(index == ScopeBuffer::kSize ? 0 : index);
}

void Decoder::slicerSample(float s, int demodType)
{
    SlicerState& sl = demod_.slicer;

    sl.mean = static_cast<float>(double(kMeanNew) * double(s) * double(s)
                                 + double(kMeanOld) * double(sl.mean));
    float threshold;
    if (params.autoThreshold.load() != 0) {
        threshold = static_cast<float>(double(std::sqrt(sl.mean)) * kThresholdPerRms);
        params.threshold.store(threshold);
    } else {
        threshold = params.threshold.load();
    }

    // Saturates instead of overflowing: a run of silence can last longer than an int can count.
    const int n = sl.runLength < SlicerState::kMaxRunLength ? sl.runLength + 1 : sl.runLength;
    sl.runLength = n;

    int newLevel = sl.level;
    if (demodType == kEdgeDemod) {
        const double rise = double(s) - double(sl.x3);
        if (sl.level == 0 ? rise > double(threshold) : rise < -double(threshold))
            newLevel = 1 - sl.level;
    } else if (demodType == kLevelDemod) {
        // The previous sample must already be on the new side, so a one-sample sign flip
        // does not change the level.
        if (sl.level == 0 ? (s > 0.0f && sl.x1 > 0) : (s < 0.0f && sl.x1 < 0))
            newLevel = 1 - sl.level;
    }
    // Any other type has no slicing rule: the level never changes.

    if (newLevel != sl.level) {
        // The ended run was low (1 bits) on a change to high, high (0 bits) on a change to low.
        const int bit = newLevel;
        // Beyond kBitsThatMatter further bits of one value cannot change the framer.
        const int nb = std::min((n + kRunRounding) / kSamplesPerBit, ByteFramer::kBitsThatMatter);
        for (int i = 0; i < nb; ++i) {
            const int character = demod_.framer.feedBit(bit);
            if (character >= 0)
                emitCharacter(character);
        }
        sl.level = newLevel;
        sl.decision = newLevel != 0 ? 1 : -1;
        sl.runLength = 0;
    }

    const int v = truncToInt(s);
    sl.x3 = sl.x2;
    sl.x2 = sl.x1;
    sl.x1 = v;
    writeScope(v, sl.decision);
}

void Decoder::ProcessSample(float sample)
{
    ++samplesConsumed_;
    if (measuring_) {
        history_.store(samplesConsumed_ - 1, sample);
        if (--levelCountdown_ == 0) {
            levelCountdown_ = InputLevel::kInterval;
            inputLevel.measure(history_, samplesConsumed_);
        }
    }
    float s = sample;
    if (params.invertSignal.load() != 0)
        s = -s;
    if (params.doFiltering.load() != 0)
        s = demod_.filter.process(s);

    const int demodType = params.demodType.load();
    if (demodType == kPatternDemod || demodType == kSyncDemod) {
        // ---- Block demodulators -------------------------------------------------------------
        // They see every conditioned sample; the slicer, its mean and its framer stay frozen
        // meanwhile. A demodulator that sets the scope's hold flag keeps its own picture on
        // screen; otherwise the scope shows the sample with no decision.
        if (demodType == kPatternDemod)
            patternSample(s);
        else
            processSyncSample(s);
        if (scope.hold.load() != 0)
            return;
        writeScope(truncToInt(s), 0);
        return;
    }
    slicerSample(s, demodType);
}

void Decoder::ProcessSamples(const std::int16_t* samples, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i)
        ProcessSample(static_cast<float>(samples[i]));
}

}  // namespace nimbra
