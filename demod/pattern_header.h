// Packet header test of the Pattern demodulator.
//
// In:  the oldest 299 samples of the capture window and the bit clock (samples per bit).
// Out: whether integrate-and-dump from the window's first sample, with a fresh phase and sum,
//      yields the six header characters 0xCA 0xCA '$' 'R' ('T'|'M') ('1'|'2').
//
// This runs for every sample while the Pattern demodulator searches, so it is built for speed
// without changing a single decision of the plain 299-sample integrate-and-dump:
//  - The bit boundaries depend only on the samples per bit (the phase starts at 0 in every
//    window), so they are computed once per clock value, with the same single-precision phase
//    arithmetic as the full pass.
//  - Each examined bit is summed sample by sample in the same order and precision as the plain
//    test; start and stop bits are never examined and so never summed.
//  - The test stops at the first data bit that rules out every header.
// A clock so slow that the 299 samples cannot hold all six characters never matches: such
// positions were not produced by this window and are not read.
#pragma once

#include <cstdint>

namespace nimbra {

struct HeaderClock {
    static constexpr int kHeaderSamples = 299;  // window offsets 0..298
    static constexpr int kHeaderCharacters = 6;
    static constexpr int kHeaderBits = 10 * (kHeaderCharacters - 1) + 9;  // bits 0..58

    // Recomputes the bit boundaries if the clock differs from the one they were made for.
    void setSamplesPerBit(float samplesPerBit) noexcept;

    bool complete = false;                    // the 299 samples produce bits 0..58
    std::uint16_t firstOffset[kHeaderBits] = {};  // first window offset of bit k
    std::uint16_t lastOffset[kHeaderBits] = {};   // offset after which bit k is decided

private:
    bool valid_ = false;
    std::uint32_t clockBits_ = 0;  // bit pattern of the clock the table was made for
};

// True if the window (at least 299 samples) starts with the packet header.
bool headerMatches(const float* window, const HeaderClock& clock) noexcept;

}  // namespace nimbra
