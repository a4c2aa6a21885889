// RfChannel: the radio path from the sonde's transmitter to the receiver's discriminator audio.
//
// In:  line bits (1 = mark, 0 = space) and the bit length in 48 kHz samples (5 is 9,600 bit/s,
//      4.992 the sondes' typical 9,615 bit/s); the settings below.
// Out: discriminator audio at 48,000 samples/s in PCM units (not yet rounded or clipped): about
//      -amplitude for a mark and +amplitude for a space, with the noise of the radio path.
//
// The model, all at complex baseband and 192,000 samples/s (four samples per output sample), or a
// higher multiple of 48 kHz where the IF bandwidth or the deviation needs it (two and a half
// times the wider of the IF and the signal's width: 528 kHz for a 200 kHz IF):
//   1. continuous-phase FSK with rectangular frequency pulses: a mark at -deviation, a space at
//      +deviation (modulation index 2 x deviation / bit rate, 0.75 at 3.6 kHz and 9,600 bit/s);
//   2. a unit-power carrier plus complex white Gaussian noise set by Eb/N0, where Eb is the
//      carrier energy of one bit: E|w|^2 = (samples per bit at the model rate) / (Eb/N0) per sample;
//   3. the IF filter, a Butterworth low-pass on I and Q (two-sided bandwidth ifBandwidthHz);
//   4. the FM discriminator, the phase step between consecutive samples, arg(z[n] conj(z[n-1]));
//   5. the audio anti-alias low-pass (Butterworth), then every fourth sample is kept;
//   6. scaling: the frequency divided by the deviation, times `amplitude`.
// Weak signals give the discriminator's typical errors: clicks, short spikes where the noise
// drives the phase once around the origin, rather than Gaussian noise on the levels.
//
// The channel keeps its state (carrier phase, filters, noise generator, bit clock) between calls
// to render(), so a long transmission can be rendered in pieces and stays continuous.
#pragma once

#include <complex>
#include <cstdint>
#include <optional>
#include <vector>

#include "synth/channel.h"
#include "synth/channel_filter.h"
#include "synth/random.h"

namespace nimbra::synth {

struct RfChannelSettings {
    double deviationHz = 3600.0;
    std::optional<double> ebN0Db;   // none: no noise
    bool carrier = true;            // false: noise alone (needs ebN0Db to set its level)
    double ifBandwidthHz = 19200.0;     // two-sided; 0: no IF filter
    int ifOrder = 4;
    double audioLowPassHz = 11000.0;    // 0: no anti-alias filter
    int audioOrder = 4;
    double amplitude = 10000.0;     // PCM units for a frequency of one deviation
    bool invert = false;
    std::uint64_t seed = 1;
};

class RfChannel : public Channel {
public:
    explicit RfChannel(RfChannelSettings settings);
    std::vector<float> render(const std::vector<std::uint8_t>& bits, double samplesPerBit) override;

    const RfChannelSettings& settings() const { return settings_; }
    // Samples of the radio model per output sample (4 at the default settings: 192,000 / 48,000).
    int oversampling() const { return oversampling_; }

private:
    RfChannelSettings settings_;
    Random random_;
    int oversampling_ = 4;
    ButterworthLowPass ifI_, ifQ_, audio_;
    double phase_ = 0.0;               // carrier phase, radians
    std::complex<double> previous_{1.0, 0.0};  // last IF output, for the discriminator
    double startOffset_ = 0.0;         // RF samples of this call's first bit already rendered
};

}  // namespace nimbra::synth
