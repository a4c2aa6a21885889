// Dongle: the faults of a cheap receiver's analogue end and converter, applied to the band's
// samples before they are quantised: the gain that sets where the band sits against full scale,
// a DC offset (the centre spike) and I/Q gain and phase imbalance (which puts an image of every
// signal at its mirrored frequency).
//
// In:  unit-scale samples (band.h) and the settings.
// Out: the samples scaled to full scale 1.0, with the faults: I' = g I + dcI,
//      Q' = a g (Q cos phi + I sin phi) + dcQ, g the gain, a the I/Q gain ratio, phi the phase
//      error, the DC in fractions of full scale. The integer formats of iq_writer.h then round
//      and clip them.
#pragma once

#include <complex>
#include <vector>

namespace nimbra::synth {

struct DongleSettings {
    double gain = 0.0;          // 0: put the band's RMS at 0.2 of full scale per component
    double dcI = 0.0, dcQ = 0.0;  // fractions of full scale
    double iqGainDb = 0.0;      // Q against I
    double iqPhaseDeg = 0.0;
    bool any() const { return dcI != 0.0 || dcQ != 0.0 || iqGainDb != 0.0 || iqPhaseDeg != 0.0; }
};

// The gain that puts a band of mean power `meanPower` per sample at an RMS of 0.2 of full scale
// per component.
double dongleGainFor(double meanPower);

class Dongle {
public:
    Dongle(const DongleSettings& settings, double meanPower);
    void apply(std::vector<std::complex<float>>& samples) const;
    double gain() const { return gain_; }

private:
    double gain_;
    double dcI_, dcQ_;
    double a_cos_, a_sin_;
};

}  // namespace nimbra::synth
