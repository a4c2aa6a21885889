// IqChannel: what a software-defined radio records of the sonde: complex baseband around the
// receiver's tuning, the carrier off frequency and drifting, plus the receiver's noise.
//
// In:  line bits (1 = mark, 0 = space) and the bit length in 48 kHz samples (5 is 9,600 bit/s,
//      4.992 the sondes' typical 9,615 bit/s); the settings below.
// Out: complex samples at `sampleRate`, unit carrier power, not yet scaled or quantised (see
//      iq_writer.h).
//
// The signal is continuous-phase FSK with rectangular frequency pulses, a mark at carrier -
// deviation and a space at carrier + deviation, as the radio channel of the audio path (so that
// one flight can be decoded both ways). Each sample's phase step is the frequency integrated
// over the sample's interval, so bit edges between samples are exact. The carrier starts at
// `offsetHz` and moves at `driftHzPerS`; with `driftSpanHz` set it turns back at offset +- span
// (a triangle), so that a long run stays in the band. Noise is complex white Gaussian with
// E|w|^2 = (samples per bit) / (Eb/N0) per sample, Eb being the carrier energy of one bit: the
// same definition at every rate and in the audio path's radio channel.
//
// The channel keeps its state between calls to render(), so a long flight can be rendered (and
// written) in pieces, sample for sample the same as in one piece. A sample is made once its whole
// interval is known: the fraction of a sample after the last bit of a recording is left out.
#pragma once

#include <complex>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "synth/random.h"

namespace nimbra::synth {

struct IqChannelSettings {
    double sampleRate = 192000.0;  // samples/s
    double offsetHz = 0.0;         // carrier frequency against the tuning, at the start
    double driftHzPerS = 0.0;
    double driftSpanHz = 0.0;      // 0: the drift goes on; else it turns back at offset +- span
    double deviationHz = 3600.0;
    std::optional<double> ebN0Db;  // none: no noise
    bool carrier = true;           // false: noise alone (needs ebN0Db to set its level)
    std::uint64_t seed = 1;
};

class IqChannel {
public:
    explicit IqChannel(IqChannelSettings settings);

    std::vector<std::complex<float>> render(const std::vector<std::uint8_t>& bits,
                                            double samplesPerBit);

    // Samples that `bits` line bits make when rendered from the start in one or more pieces.
    std::size_t samplesFor(std::size_t bits, double samplesPerBit) const;
    // Standard deviation of the noise per component (0 without noise).
    double noiseSigma(double samplesPerBit) const;
    const IqChannelSettings& settings() const { return settings_; }

private:
    IqChannelSettings settings_;
    Random random_;
    double phase_ = 0.0;        // carrier phase, radians
    double carrierHz_ = 0.0;    // carrier frequency now
    double driftSign_ = 1.0;
    double startOffset_ = 0.0;  // where the next call's first sample starts, against its bits
    std::uint8_t previousBit_ = 1;
};

}  // namespace nimbra::synth
