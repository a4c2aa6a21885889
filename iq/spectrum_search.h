// SpectrumSearch: finds the sonde anywhere in the band: an averaged power spectrum (FFTW) of the
// input, the noise floor, and the two FSK tones.
//
// In:  complex samples at the input rate (48 kS/s to 3.2 MS/s), as many as come.
// Out: after each interval (a quarter of a second of input), an estimate: whether a signal
//      stands above the noise, its centre frequency and its deviation (half the distance between
//      the tones), both in Hz against the tuning.
//
// The spectrum is a Welch average of Hann-windowed FFTs with bins of 300 to 600 Hz. The noise
// floor is a low quantile of the bins (the signal occupies a small part of the band), smoothed
// over 2.4 kHz so that a bin's noise is averaged down far enough to set a threshold that noise
// alone practically never crosses. Two tones far apart (deviation several times the bit rate)
// show as two lobes; tones close together (deviation about the bit rate and below) merge into one
// flat hump whose edges lie a fixed fraction of the bit rate outside the tones. Either way the
// estimate needs only to be within about a kilohertz: the detector's frequency loops refine it.
#pragma once

#include <complex>
#include <cstddef>
#include <vector>

namespace nimbra::iq {

struct ToneEstimate {
    bool present = false;  // something stands above the noise (a carrier alone will do)
    bool found = false;    // two tones (or a modulated hump) found: centre and deviation are set
    double centreHz = 0.0;
    double deviationHz = 0.0;
    double snrDb = 0.0;  // the strongest smoothed bin against the noise floor
};

class SpectrumSearch {
public:
    explicit SpectrumSearch(double sampleRate, double intervalSeconds = 0.25);
    ~SpectrumSearch();
    SpectrumSearch(const SpectrumSearch&) = delete;
    SpectrumSearch& operator=(const SpectrumSearch&) = delete;

    // Takes samples; returns true when an interval is complete and estimate() is new.
    bool add(const std::complex<float>* samples, std::size_t count);
    const ToneEstimate& estimate() const { return estimate_; }
    void reset();

    std::size_t fftSize() const { return size_; }
    double binHz() const { return rate_ / double(size_); }
    // Samples in one interval.
    std::size_t intervalSamples() const { return segmentsPerInterval_ * size_; }

    // The estimate for an averaged spectrum (bins in FFT order, power), exposed for the tests.
    static ToneEstimate estimateFrom(const std::vector<double>& power, double sampleRate, int segments);

private:
    void evaluate();

    double rate_;
    std::size_t size_;
    std::size_t segmentsPerInterval_;
    std::vector<float> window_;
    std::complex<float>* in_ = nullptr;   // FFTW buffers (aligned)
    std::complex<float>* out_ = nullptr;
    void* plan_ = nullptr;
    std::size_t filled_ = 0;   // samples in in_
    int segments_ = 0;         // segments in power_
    std::vector<double> power_;
    ToneEstimate estimate_;
};

}  // namespace nimbra::iq
