// SlicerDemod: the Edge and Level demodulators. Decides between two line levels sample by
// sample, measures each run of equal level, turns run lengths into bits at 5 samples per bit
// and frames the bits as 8N1 characters.
//
// In:  conditioned samples (output units), the demodulator type (Edge or Level; any other type
//      has no slicing rule and never changes the level), the threshold (Edge) or the automatic
//      threshold switch.
// Out: the character a sample completes (at most one: a run feeds bits of one value only, and
//      only a 1 completes a character), the level decision and the truncated sample for the
//      scope, the automatic threshold.
//
// A low run carries 1 bits (mark; the idle line is low), a high run 0 bits. A character is
// handed over when its stop bit has been seen as a 1, that is at the end of the low run holding
// the stop bit: normally at the next character's start bit.
//
// Defined here so that the per-sample loop of the demodulator compiles it inline.
#pragma once

#include <algorithm>
#include <climits>
#include <cmath>

#include "demod/byte_framer.h"
#include "demod/demod_type.h"
#include "demod/relaxed.h"
#include "demod/truncate.h"

namespace nimbra {

// What the slicer remembers between samples. Only Edge and Level samples change it: while
// another demodulator runs, it stays frozen.
struct SlicerState {
    // The run length stops here, so that N + 3 (the rounding of the bit count) cannot overflow.
    static constexpr int kMaxRunLength = INT_MAX - 3;

    float mean = 0.0f;   // running mean of the squared conditioned sample (output units^2)
    int level = 0;       // 0 low, 1 high
    int runLength = 0;   // Edge/Level samples since the last level change, saturating
    int decision = 0;    // -1 after a change to low, +1 after a change to high, 0 before any
    // Delay line: the last three conditioned samples, truncated toward zero.
    int x1 = 0;
    int x2 = 0;
    int x3 = 0;
};

class SlicerDemod {
public:
    // Running mean weights, as single-precision values (0.000500000024 and 0.999499977).
    static constexpr float kMeanNew = 0.0005f;
    static constexpr float kMeanOld = 0.9995f;
    // Automatic threshold: this multiple of the RMS of the conditioned signal.
    static constexpr double kThresholdPerRms = 1.225;
    // Bits per run: (N + 3) / 5, the nearest whole number of 5-sample bits.
    static constexpr int kSamplesPerBit = 5;
    static constexpr int kRunRounding = 3;

    SlicerState state;
    ByteFramer framer;

    void reset() noexcept
    {
        state = SlicerState();
        framer = ByteFramer();
    }

    // One sample. With `autoThreshold` the threshold is recomputed and stored in `threshold`
    // (also while Level, which does not use it, is selected); otherwise it is read from there.
    // Returns the completed character, or -1.
    int step(float s, int demodType, bool autoThreshold, Relaxed<float>& threshold) noexcept
    {
        SlicerState& sl = state;
        sl.mean = static_cast<float>(double(kMeanNew) * double(s) * double(s)
                                     + double(kMeanOld) * double(sl.mean));
        float thr;
        if (autoThreshold) {
            thr = static_cast<float>(double(std::sqrt(sl.mean)) * kThresholdPerRms);
            threshold.store(thr);
        } else {
            thr = threshold.load();
        }

        // Saturates instead of overflowing: a run of silence can last longer than an int counts.
        const int n = sl.runLength < SlicerState::kMaxRunLength ? sl.runLength + 1 : sl.runLength;
        sl.runLength = n;

        int newLevel = sl.level;
        if (demodType == kEdgeDemod) {
            const double rise = double(s) - double(sl.x3);
            if (sl.level == 0 ? rise > double(thr) : rise < -double(thr))
                newLevel = 1 - sl.level;
        } else if (demodType == kLevelDemod) {
            // The previous sample must already be on the new side, so a one-sample sign flip
            // does not change the level.
            if (sl.level == 0 ? (s > 0.0f && sl.x1 > 0) : (s < 0.0f && sl.x1 < 0))
                newLevel = 1 - sl.level;
        }

        const int character = newLevel != sl.level ? changeLevel(n) : -1;

        sl.x3 = sl.x2;
        sl.x2 = sl.x1;
        sl.x1 = truncToInt(s);
        return character;
    }

    // Ends the current run as a change of level would, without a sample: for a stream that
    // breaks off, whose last run (the idle line after a block, holding its last character) would
    // otherwise wait for a change that never comes. Returns the completed character, or -1.
    int endRun() noexcept { return state.runLength > 0 ? changeLevel(state.runLength) : -1; }

    // For the scope after each step: the sample truncated toward zero and the level decision.
    int lastSample() const noexcept { return state.x1; }
    int decision() const noexcept { return state.decision; }

private:
    // The run of n samples ends and the other level begins. Returns the completed character, or
    // -1.
    int changeLevel(int n) noexcept
    {
        SlicerState& sl = state;
        // The ended run was low (1 bits) on a change to high, high (0 bits) on a change to low.
        // Beyond kBitsThatMatter further bits of one value cannot change the framer.
        const int newLevel = 1 - sl.level;
        const int bit = newLevel;
        const int nb = std::min((n + kRunRounding) / kSamplesPerBit, ByteFramer::kBitsThatMatter);
        int character = -1;
        for (int i = 0; i < nb; ++i) {
            const int c = framer.feedBit(bit);
            if (c >= 0)
                character = c;
        }
        sl.level = newLevel;
        sl.decision = newLevel != 0 ? 1 : -1;
        sl.runLength = 0;
        return character;
    }
};

}  // namespace nimbra
