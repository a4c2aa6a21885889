// PatternDemodState: what the Pattern demodulator keeps between samples.
//
// The demodulator holds the last 15,000 conditioned samples and asks at every sample whether a
// packet starts at the oldest one: integrate-and-dump with a fixed clock from that sample, the six
// header characters, then the whole window, its length field and its checksum. All buffers are
// fixed; nothing is allocated per sample.
#pragma once

#include <cstdint>

#include "demod/pattern_header.h"

namespace nimbra {

struct PatternDemodState {
    static constexpr int kWindow = 15000;        // samples, also the length of the full pass
    static constexpr int kScopeCopy = 2999;      // full-pass samples copied to scope entries 1..
    static constexpr int kMaxCharacters = kWindow / 10;
    static constexpr int kMinBlockLength = 20;   // length field limits of a plausible block
    static constexpr int kMaxBlockLength = 300;

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

}  // namespace nimbra
