// AudioChannel: the discriminator audio as two levels plus white Gaussian noise.
//
// In:  line bits, bit length in samples; settings below.
// Out: audio samples in PCM units: -amplitude for a 1 bit, +amplitude for a 0 bit (negated when
//      inverted), plus noise, then the optional low-pass and the optional high-pass.
//
// Noise is set by Eb/N0 of the unfiltered audio: with levels +-A and noise of standard deviation
// sigma per sample, Eb/N0 = samplesPerBit x A^2 / (2 sigma^2). The low-pass, when on, acts on
// signal and noise together, as the receiver's audio filter would. The high-pass is the AC coupling
// of a sound card's input, which lets long runs of one level sag towards zero.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "synth/channel.h"

namespace nimbra::synth {

struct AudioChannelSettings {
    double amplitude = 10000.0;       // PCM units
    std::optional<double> ebN0Db;     // none: no noise
    double lowPassHz = 0.0;           // 0: off; else second-order Butterworth cut-off
    double highPassHz = 0.0;          // 0: off; else first-order cut-off
    bool invert = false;
    std::uint64_t seed = 1;
};

// Noise standard deviation (PCM units per sample) for the given level, bit length and Eb/N0.
double noiseSigmaFor(double amplitude, double samplesPerBit, double ebN0Db);

class AudioChannel : public Channel {
public:
    explicit AudioChannel(AudioChannelSettings settings) : settings_(settings) {}
    std::vector<float> render(const std::vector<std::uint8_t>& bits, double samplesPerBit) override;

private:
    AudioChannelSettings settings_;
};

// Second-order Butterworth low-pass (bilinear transform) applied in place, starting settled on
// the first sample so that a constant input passes unchanged.
void lowPassInPlace(std::vector<float>& samples, double cutoffHz, double sampleRate = 48000.0);

// First-order high-pass (bilinear transform) applied in place, starting from rest.
void highPassInPlace(std::vector<float>& samples, double cutoffHz, double sampleRate = 48000.0);

}  // namespace nimbra::synth
