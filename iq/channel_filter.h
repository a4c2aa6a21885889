// ChannelFilter: takes the sonde's channel out of the input band: the oscillator mixes the
// channel's centre to 0 Hz, a low-pass FIR filter removes everything outside the channel and
// decimates, and an arbitrary-rate resampler brings the rate to the detector's 48,000 x M
// samples/s where the decimation alone cannot. All three are liquid-dsp objects.
//
// In:  complex samples at the input rate; the channel (centre and half-width) found by the search.
// Out: complex samples at the detector's rate, the channel centred on 0 Hz.
//
// The plan (planChannel) sizes everything from the channel: the detector rate is the smallest
// multiple of 48 kHz that holds the channel with a quarter to spare; the decimation is the
// largest whole factor that keeps at least that rate; the FIR filter passes the channel flat
// (Kaiser window, ripple below 0.01 dB) and attenuates by 60 dB everything that would fold into
// it. The input-rate work is one complex multiply for the mix and a FIR whose length is set by
// the transition band, computed once per decimated output.
#pragma once

#include <complex>
#include <cstddef>
#include <vector>

namespace nimbra::iq {

struct ChannelPlan {
    double inputRate = 0.0;
    double outputRate = 0.0;    // 48,000 x rateMultiple
    int rateMultiple = 1;
    int decimation = 1;         // whole factor of the FIR stage
    double decimatedRate = 0.0; // inputRate / decimation
    double passHz = 0.0;        // channel half-width: flat up to here
    double stopHz = 0.0;        // attenuated from here (at the FIR's rate)
    double attenuationDb = 60.0;
    bool resample = false;      // decimatedRate differs from outputRate
};

// The plan for a channel of half-width `halfWidthHz` in an input at `inputRate`.
ChannelPlan planChannel(double inputRate, double halfWidthHz);

// The FIR taps of a plan: length from the transition band, Kaiser window, unit gain at 0 Hz.
std::vector<float> designChannelTaps(const ChannelPlan& plan);

class ChannelFilter {
public:
    ChannelFilter(const ChannelPlan& plan, double centreHz);
    ~ChannelFilter();
    ChannelFilter(const ChannelFilter&) = delete;
    ChannelFilter& operator=(const ChannelFilter&) = delete;

    // Appends the output for `count` input samples to `out`.
    void process(const std::complex<float>* in, std::size_t count, std::vector<std::complex<float>>& out);
    // Moves the oscillator to a new centre (phase continuous).
    void retune(double centreHz);
    double centreHz() const { return centreHz_; }
    const ChannelPlan& plan() const { return plan_; }
    // Delay of the filters, in output samples.
    double delay() const { return delay_; }
    std::size_t taps() const { return taps_.size(); }

private:
    ChannelPlan plan_;
    double centreHz_ = 0.0;
    std::vector<float> taps_;
    void* nco_ = nullptr;        // nco_crcf
    void* decimator_ = nullptr;  // firdecim_crcf, or firfilt_crcf when the decimation is 1
    void* resampler_ = nullptr;  // resamp_crcf, when needed
    double delay_ = 0.0;
    std::vector<std::complex<float>> mixed_;      // input after the mix, a partial decimation in front
    std::vector<std::complex<float>> decimated_;
};

}  // namespace nimbra::iq
