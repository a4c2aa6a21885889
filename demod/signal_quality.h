// Block quality: an estimate of Eb/N0 (dB) for one finished block, from the input samples under
// its known bits.
//
// In:  the sample history, the block's bytes from its '$' through its checksum (as the packet
//      framer finished it, good or bad), and where the demodulator that read it says it began.
// Out: Eb/N0 in dB, or NaN when the block cannot be measured (it lies partly outside the history,
//      is too long, or has too few bits of either level to measure).
//
// How: the block's line bits are known (8N1 characters), so the estimate needs no decisions of
// its own. The start and the bit length are found by correlating the known bits with the input
// at the block's start and end. Then every bit whose neighbours have the same level (no edge on
// either side, so filtering in the receiver cannot bleed into it) is averaged over the samples
// that fall inside it, as integrate-and-dump does. Half the distance between the mean mark and
// the mean space is the signal amplitude A; the spread of the averages around their level's mean
// gives the noise as a per-sample variance s2 (each average weighted by its sample count), after
// dropping outliers beyond 4 standard deviations twice over (the clicks of a weak FM signal, which
// a noise figure should not mistake for the noise floor). For white noise on two levels,
// Eb/N0 = bit length x A^2 / (2 s2) exactly.
//
// A limiter-discriminator's noise is not white: it rises with frequency, and integrate-and-dump
// removes more of it. The ratio of the per-sample variance of the bits' inner samples to s2 tells
// the two apart (about 1 for white noise, about 1.4 behind a discriminator, below 1 for low-passed
// audio), and the estimate is lowered by up to kDiscriminatorGainDb accordingly, so that it reads
// the radio's Eb/N0 rather than the audio's. Both constants are calibrated against the
// synthesizer's audio and radio channels (tests/core/signal_quality_test.cpp).
#pragma once

#include <cstdint>

#include "demod/block_timing.h"
#include "demod/sample_history.h"

namespace nimbra {

struct BlockQuality {
    static constexpr int kMaxBytes = 400;        // longer blocks are not measured
    static constexpr double kDiscriminatorGainDb = 1.75;
    static constexpr double kDiscriminatorRatio = 1.4;  // variance ratio behind a discriminator
};

// `available` is the number of samples consumed so far (the history holds the last kSize).
float estimateBlockEbN0(const SampleHistory& history, std::int64_t available,
                        const std::uint8_t* bytes, int length, const BlockTiming& timing);

}  // namespace nimbra
