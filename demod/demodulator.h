// Demodulator: the per-sample front of the decoder. Samples in, characters out.
//
// In:  samples of the receiver's discriminator audio at 48,000 samples/s, one 32-bit float per
//      sample holding a 16-bit PCM value; the decoder parameters, read at every sample.
// Out: characters and whole blocks to the CharacterSink (the packet framer behind it), the
//      automatic threshold (into `threshold`), the ScopeBuffer.
//
// Per sample: optional inversion, optional conditioning filter, then the demodulator that
// `demodType` selects: the Edge/Level slicer with its byte framer (any type other than Pattern
// and Sync slices, with no rule for types beyond Level), the Pattern demodulator or the Sync
// demodulator. Each keeps its own state and keeps it while another runs: switching back resumes
// where it stopped. The scope gets the conditioned sample and the slicer's decision (0 from the
// block demodulators), except while a Pattern capture is held for display.
//
// The per-sample path allocates, locks and formats nothing; what the sink does with a finished
// block is the sink's business (see decoder/decoder.h).
#pragma once

#include <cstddef>
#include <cstdint>

#include "demod/character_sink.h"
#include "demod/conditioning_filter.h"
#include "demod/decoder_parameters.h"
#include "demod/input_level.h"
#include "demod/pattern_demod.h"
#include "demod/sample_history.h"
#include "demod/scope_buffer.h"
#include "demod/slicer_demod.h"
#include "demod/sync_demod.h"

namespace nimbra {

class Demodulator {
public:
    Demodulator(DecoderParameters& params, ScopeBuffer& scope, CharacterSink& sink) noexcept
        : params_(params), scope_(scope), sink_(sink)
    {
    }
    Demodulator(const Demodulator&) = delete;
    Demodulator& operator=(const Demodulator&) = delete;

    void process(float sample);
    // Raw signed 16-bit samples, each taken as process(float(sample)), in order.
    void process(const std::int16_t* samples, std::size_t count);

    // Samples taken so far, the one being processed included (kept up to date for whoever the
    // sink calls, and at the end of each entry).
    std::int64_t samplesConsumed() const noexcept { return consumed_; }

    // Every stage back to its state at start.
    void reset() noexcept;

    // Measurement (off while null): every sample into the history, the level measured over it
    // every InputLevel::kInterval samples. Both must outlive their use here.
    void setMeasurement(SampleHistory* history, InputLevel* level) noexcept
    {
        history_ = history;
        level_ = level;
    }

    // The stages, in the order a sample meets them (read and preset by tests).
    ConditioningFilter filter;
    SlicerDemod slicer;
    PatternDemod pattern;
    SyncDemod sync;

private:
    // `index`: samples taken, this one included. Inlined into both entries: it is the loop body
    // of the block entry, where a call per sample would cost more than the work of the slicers.
    [[gnu::always_inline]] inline void step(float sample, std::int64_t index);
    [[gnu::always_inline]] inline void writeScope(int sample, int decision) noexcept;
    // Where the block a block demodulator just finished lay in the input.
    BlockTiming patternTiming(std::int64_t index) const noexcept;
    BlockTiming syncTiming(std::int64_t index, int length) const noexcept;

    DecoderParameters& params_;
    ScopeBuffer& scope_;
    CharacterSink& sink_;
    std::int64_t consumed_ = 0;
    SampleHistory* history_ = nullptr;
    InputLevel* level_ = nullptr;
    int levelCountdown_ = InputLevel::kInterval;
};

}  // namespace nimbra
