// PatternDemod: the Pattern demodulator. Finds whole blocks by trying every start position one
// sample apart, with a fixed bit clock, instead of following level changes.
//
// In:  conditioned samples, one at a time, and the bit length in samples (samplesPerBit, may be
//      fractional and may change from one sample to the next); a positive level reads as 1.
// Out: a block whose header, length and checksum are right (its characters from the '$'
//      through the checksum; the two sync characters are not part of it); a picture of each
//      capture in the ScopeBuffer, held there until it has been drawn.
//
// The last 15,000 samples are kept; at every sample outside a hold-off the oldest one is tested
// as a block start: integrate-and-dump of the window's first 299 samples from a fresh phase must
// give the sync characters and header (pattern_header.h). A match runs the full pass over the
// whole window, copies its start to the scope, reads the length and tests the checksum; an
// accepted block then lets its own samples pass without searching. All buffers are fixed;
// nothing is allocated per sample.
#pragma once

#include <cstdint>

#include "demod/character_sink.h"
#include "demod/pattern_header.h"
#include "demod/scope_buffer.h"

namespace nimbra {

struct PatternDemodState {
    static constexpr int kWindow = 15000;        // samples, also the length of the full pass
    static constexpr int kScopeCopy = 2999;      // full-pass samples copied to scope entries 1..
    static constexpr int kMaxCharacters = kWindow / 10;

    // Capture ring. Every sample is stored twice, at i and i + kWindow, so that the window
    // (oldest first) is the contiguous run ring[writeIndex .. writeIndex + kWindow - 1].
    float ring[2 * kWindow] = {};
    int writeIndex = 0;  // after a store: position of the oldest sample, window offset 0
    int holdOff = 0;     // coming samples to store without searching

    // Output of the last full pass.
    std::uint8_t bits[kWindow] = {};
    int bitCount = 0;
    std::uint8_t characters[kMaxCharacters] = {};
    int characterCount = 0;  // characters whose eight data bits the pass produced

    HeaderClock headerClock;  // bit boundaries of the header test for the current clock
    unsigned fullPasses = 0;  // header matches so far (diagnostics and tests)
};

class PatternDemod {
public:
    PatternDemodState state;

    void reset() noexcept { state = PatternDemodState(); }

    // Takes one sample. True when a block was accepted; it waits in block() until the next call.
    bool step(float sample, float samplesPerBit, ScopeBuffer& scope) noexcept;
    DemodBlock block() const noexcept;

private:
    bool capture(float samplesPerBit, ScopeBuffer& scope) noexcept;
    int blockLength_ = 0;  // bytes of the accepted block, '$' through the checksum
};

}  // namespace nimbra
