// Modulator: line bits to the ideal two-level waveform at 48,000 samples/s.
//
// In:  bits (1 = mark = low level, 0 = space = high level) and the bit length in samples, which
//      may be fractional (4.992 samples is the radiosonde's ~9,615 bit/s).
// Out: one value per sample, -1 for a 1 bit and +1 for a 0 bit.
//
// The bit clock is integrated as a phase: sample n belongs to the bit whose interval
// [k x samplesPerBit, (k + 1) x samplesPerBit) holds n + startPhase, so bits of a fractional
// length are 4 or 5 samples long in the right proportion and never drift.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace nimbra::synth {

inline constexpr double kSampleRate = 48000.0;

// Number of samples that `bitCount` bits occupy.
std::size_t samplesForBits(std::size_t bitCount, double samplesPerBit, double startPhase = 0.0);

std::vector<float> modulateLevels(const std::vector<std::uint8_t>& bits, double samplesPerBit,
                                  double startPhase = 0.0);

}  // namespace nimbra::synth
