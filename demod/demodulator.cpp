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

inline void Demodulator::step(float sample, std::int64_t index)
{
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
            sink_.block(demodType == kPatternDemod ? pattern.block() : sync.block());
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
