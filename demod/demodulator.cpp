#include "demod/demodulator.h"

#include "demod/demod_type.h"
#include "demod/truncate.h"

namespace nimbra {

void Demodulator::reset() noexcept
{
    filter = ConditioningFilter();
    slicer.reset();
    pattern.reset();
    sync.reset();
    consumed_ = 0;
    levelCountdown_ = InputLevel::kInterval;
}

inline void Demodulator::writeScope(int sample, int decision) noexcept
{
    int index = scope_.writeIndex.load();
    if (index < 0 || index >= ScopeBuffer::kSize)
        index = 0;
    scope_.sample[index].store(sample);
    scope_.decision[index].store(decision);
    ++index;
    scope_.writeIndex.store(index == ScopeBuffer::kSize ? 0 : index);
}

BlockTiming Demodulator::patternTiming(std::int64_t index) const noexcept
{
    // The window, whose oldest sample is the one taken kWindow samples ago, starts with the
    // first sync character's start bit; the '$' is the third character.
    BlockTiming t;
    t.bitLength = double(params_.samplesPerBit.load());
    t.dollarStart = double(index - PatternDemodState::kWindow) + block::kSyncCharacters * 10.0 * t.bitLength;
    t.startTolerance = 4.0;
    t.rateTolerance = 0.001;
    return t;
}

BlockTiming Demodulator::syncTiming(std::int64_t index, int length) const noexcept
{
    // The block ended where the next character would start; its bit length is the clock's.
    const SyncStageState& state = sync.stage.state;
    BlockTiming t;
    t.bitLength = state.bitLength;
    const double toDecoderTime = double(index - sync.source.count());
    const double duration = length * 10.0 * t.bitLength;
    t.dollarStart = state.charStart + toDecoderTime - duration;
    t.startTolerance = duration * 0.001 + 4.0;
    t.rateTolerance = 0.002;
    return t;
}

inline void Demodulator::step(float sample, std::int64_t index)
{
    if (history_) {
        history_->store(index - 1, sample);
        if (--levelCountdown_ == 0) {
            levelCountdown_ = InputLevel::kInterval;
            level_->measure(*history_, index);
        }
    }
    float s = sample;
    if (params_.invertSignal.load() != 0)
        s = -s;
    if (params_.doFiltering.load() != 0)
        s = filter.process(s);

    const int demodType = params_.demodType.load();
    if (demodType == kPatternDemod || demodType == kSyncDemod) {
        // The block demodulators see every conditioned sample; the slicer, its mean and its
        // framer stay frozen meanwhile. A demodulator that sets the scope's hold flag keeps its
        // own picture on screen; otherwise the scope shows the sample with no decision.
        const bool finished = demodType == kPatternDemod
                                  ? pattern.step(s, params_.samplesPerBit.load(), scope_)
                                  : sync.step(s);
        if (finished) {
            consumed_ = index;
            DemodBlock b = demodType == kPatternDemod ? pattern.block() : sync.block();
            if (history_) {
                b.timing = demodType == kPatternDemod ? patternTiming(index) : syncTiming(index, b.length);
                b.timed = true;
            }
            sink_.block(b);
        }
        if (scope_.hold.load() != 0)
            return;
        writeScope(truncToInt(s), 0);
        return;
    }
    const int character =
        slicer.step(s, demodType, params_.autoThreshold.load() != 0, params_.threshold);
    if (character >= 0) {
        consumed_ = index;
        sink_.character(character);
    }
    writeScope(slicer.lastSample(), slicer.decision());
}

void Demodulator::process(float sample)
{
    const std::int64_t index = consumed_ + 1;
    step(sample, index);
    consumed_ = index;
}

void Demodulator::process(const std::int16_t* samples, std::size_t count)
{
    const std::int64_t first = consumed_ + 1;
    for (std::size_t i = 0; i < count; ++i)
        step(static_cast<float>(samples[i]), first + static_cast<std::int64_t>(i));
    consumed_ = first - 1 + static_cast<std::int64_t>(count);
}

}  // namespace nimbra
