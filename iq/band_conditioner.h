// BandConditioner: takes a dongle's own faults out of the band before anything looks at it: the
// DC offset (the spike at the tuned frequency) and the I/Q gain and phase imbalance (the image
// of every signal at its mirrored frequency).
//
// In:  complex samples at the band's rate, in blocks of any size.
// Out: the same samples, corrected in place.
//
// Both corrections are blind and rest on what a band of noise and signals is on average: its
// mean is zero, and its I and Q have equal power and no correlation (every signal in it turns
// at its own frequency with its own phase). Over one block of 8,192 samples in four the means,
// powers and the cross product of I and Q are summed; the estimates follow them with a time
// constant of a quarter second. The DC
// estimate is subtracted; then Q is made orthogonal to I and scaled to its power:
// Q' = (Q - a I) g, a = E[IQ] / E[I^2], g = sqrt(E[I^2] / E[(Q - a I)^2]). Against a dongle whose
// image is 28 dB down (0.5 dB, 3 degrees) this leaves it some 50 dB down once settled. The DC
// notch is a few hertz wide: a sonde tuned to the very centre loses nothing of its tones.
// Per sample a few multiplications, no allocation.
#pragma once

#include <complex>
#include <cstddef>

namespace nimbra::iq {

class BandConditioner {
public:
    explicit BandConditioner(double sampleRate);

    void process(std::complex<float>* samples, std::size_t count);

    std::complex<double> dc() const { return {dcI_, dcQ_}; }
    // The correction in use: Q' = (Q - crossTalk() I) qGain().
    double crossTalk() const { return cross_; }
    double qGain() const { return gain_; }

private:
    static constexpr std::size_t kLanes = 8;
    static constexpr std::size_t kMeasureEvery = 4;  // blocks: one measured, then three only corrected

    void update(std::size_t n, std::size_t every, double sumI, double sumQ, double sumII, double sumQQ,
                double sumIQ);

    double rate_;
    double dcI_ = 0.0, dcQ_ = 0.0;
    double powI_ = 0.0, powQ_ = 0.0, powIQ_ = 0.0;  // smoothed second moments after the DC
    double cross_ = 0.0, gain_ = 1.0;
    bool started_ = false;
    std::size_t filled_ = 0;   // samples of the current block
    std::size_t blocks_ = 0;
    float sums_[5][kLanes] = {};  // I, Q, II, QQ, IQ
};

}  // namespace nimbra::iq
