// ChannelFilter: takes the sonde's channel out of the input band and brings it to the detector's
// rate, 48,000 x M samples/s, centred on 0 Hz. liquid-dsp does the work: the oscillator (nco),
// the FIR design (Kaiser window) and dot products and, where whole-number decimation cannot reach
// the rate, the arbitrary-rate resampler (resamp).
//
// In:  complex samples at the input rate; the channel (centre and half-width) found by the search.
// Out: complex samples at the detector's rate.
//
// The plan (planChannel) sizes everything from the channel: the detector rate is the smallest
// multiple of 48 kHz that holds the channel with room to spare, the decimation the largest whole
// factor that keeps at least that rate, split into one or two FIR stages, whichever costs less per
// input sample (a first stage by 10 needs only a short filter, since the second removes what its
// wide transition band lets through). Each stage passes the channel flat (Kaiser window from
// liquid's designer, within 0.1 dB) and attenuates by 60 dB whatever would fold into it.
//
// The stages compute each decimated output as one liquid dot product over a buffer of the input
// kept here. liquid's own decimator object pushes every input sample into its window buffer one
// call at a time, which costs as much as the dot products themselves; at 192 kS/s that was a
// quarter of the whole receiver's time.
//
// The mix to 0 Hz: liquid's oscillator keeps the phase, but turning every input sample through it
// costs about a hundred instructions a sample (a table look-up and calls per sample), as much as
// all the filters together at 2.4 MS/s. So the oscillator gives the phase at the start of each
// block of samples and the samples of the block are turned by a complex recurrence, one complex
// multiplication each; the next block starts again from the oscillator's exact phase.
#pragma once

#include <complex>
#include <cstddef>
#include <vector>

namespace nimbra::iq {

struct FilterStage {
    int decimation = 1;
    double inputRate = 0.0;
    double passHz = 0.0;  // flat up to here
    double stopHz = 0.0;  // attenuated from here
};

struct ChannelPlan {
    double inputRate = 0.0;
    double outputRate = 0.0;     // 48,000 x rateMultiple
    int rateMultiple = 1;
    int decimation = 1;          // all FIR stages together
    double decimatedRate = 0.0;  // inputRate / decimation
    double passHz = 0.0;         // channel half-width
    double attenuationDb = 60.0;
    std::vector<FilterStage> stages;
    bool resample = false;       // decimatedRate differs from outputRate
};

// The plan for a channel of half-width `halfWidthHz` in an input at `inputRate`. A `bandLimited`
// input (the channelizer's: nothing outside the channel) gets no FIR stage where no decimation is
// needed.
ChannelPlan planChannel(double inputRate, double halfWidthHz, bool bandLimited = false);

// The low-pass prototype of a stage: length from the transition band, Kaiser window, unit gain at
// 0 Hz, odd length (a whole-sample delay).
std::vector<float> designStageTaps(const FilterStage& stage, double attenuationDb);

class ChannelFilter {
public:
    ChannelFilter(const ChannelPlan& plan, double centreHz);
    ~ChannelFilter();
    ChannelFilter(const ChannelFilter&) = delete;
    ChannelFilter& operator=(const ChannelFilter&) = delete;

    // Appends the output for `count` input samples to `out`.
    void process(const std::complex<float>* in, std::size_t count, std::vector<std::complex<float>>& out);
    // Moves the oscillator to a new centre (phase continuous) for the input from now on; the output
    // follows after the filters' delay.
    void retune(double centreHz);
    double centreHz() const { return centreHz_; }
    const ChannelPlan& plan() const { return plan_; }
    // Delay of the filters, in output samples: output sample i stands for the input at the time of
    // output sample i - delay().
    double delay() const { return delay_; }
    // Multiplications per input sample in the FIR stages (for the benchmark's notes).
    double firLoad() const;

private:
    struct Stage {
        FilterStage design;  // rates, band edges and decimation of this stage
        std::vector<float> taps;
        std::vector<std::complex<float>> history;  // the last taps - 1 inputs, then the new ones
        int phase = 0;  // inputs until the next output (0: the next input makes one)
        std::vector<std::complex<float>> out;
    };
    void mix(const std::complex<float>* in, std::size_t count, std::complex<float>* out);

    ChannelPlan plan_;
    double centreHz_ = 0.0;
    std::vector<Stage> stages_;
    void* nco_ = nullptr;        // nco_crcf at the input rate
    void* resampler_ = nullptr;  // resamp_crcf, when needed
    double delay_ = 0.0;
    std::vector<std::complex<float>> mixed_;
};

}  // namespace nimbra::iq
