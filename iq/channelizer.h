// Channelizer: takes any number of channels out of the whole band at once by fast convolution
// (overlap-save). One forward FFT of the band per hop serves every channel: a channel takes the
// bins around its centre, weights them with its filter's response, and an inverse FFT of only
// those bins gives its samples, already decimated. The cost grows with the band (one FFT of
// N points per 3N/4 input samples: about 5 log2 N operations a sample) and only by a small FFT
// per channel, not with the band times the number of channels.
//
// In:  complex samples at the band's rate, in blocks of any size; channels added and removed
//      between calls.
// Out: per channel, complex samples at rate / D (D a power of two chosen for the channel's
//      width), the channel's centre at 0 Hz, appended to its output as hops complete; each hop's
//      spectrum (the forward FFT of the block, rectangular window) to a listener, for the search.
//
// Sizes: N is the power of two that makes bins of at most 600 Hz (the search's resolution);
// hops of L = 3N/4 leave N/4 + 1 taps for each channel's filter (Kaiser window, 68 dB), which sets its
// transition band: about 14 kHz at 10 MS/s, 3.3 kHz at 2.4 MS/s. A channel's centre is the
// nearest bin; the channel's own mixer takes the rest.
//
// Time: output sample j of a channel stands for the band's input at sample j D - (P - 1) / 2,
// P the filter length; the first sample a channel gives is the first of the hop after it was
// added. Per hop the channelizer allocates nothing once a channel's buffers have grown.
#pragma once

#include <complex>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "iq/fft_plans.h"

namespace nimbra::iq {

struct ChannelTap {
    double centreHz = 0.0;      // the bin the channel is centred on, Hz against the tuning
    int decimation = 1;         // D
    double outputRate = 0.0;    // rate / D
    double passHz = 0.0;        // flat to here (half-width)
    std::int64_t firstOutput = 0;  // global index j of the first sample it gives
    std::vector<std::complex<float>> output;  // samples not yet taken by its owner
};

class Channelizer {
public:
    using SpectrumListener = std::function<void(const std::complex<float>* bins, std::size_t size)>;

    explicit Channelizer(double inputRate);
    ~Channelizer();
    Channelizer(const Channelizer&) = delete;
    Channelizer& operator=(const Channelizer&) = delete;

    double inputRate() const { return rate_; }
    std::size_t fftSize() const { return size_; }
    std::size_t hop() const { return hop_; }
    double binHz() const { return rate_ / double(size_); }
    int filterLength() const { return taps_; }
    // Input samples per output j: the filter's delay, (P - 1) / 2.
    double delay() const { return 0.5 * double(taps_ - 1); }
    // The transition band the filter length allows, Hz.
    double transitionHz() const;

    // A channel passing [centre - halfWidth, centre + halfWidth] flat, at the smallest output rate
    // that holds it (and at least `minOutputRate`). Returns its id.
    int addChannel(double centreHz, double halfWidthHz, double minOutputRate = 0.0);
    void removeChannel(int id);
    ChannelTap& channel(int id) { return *channels_.at(id).tap; }
    bool has(int id) const { return channels_.count(id) != 0; }
    std::size_t channelCount() const { return channels_.size(); }

    void setSpectrumListener(SpectrumListener listener) { spectrumListener_ = std::move(listener); }
    void process(const std::complex<float>* samples, std::size_t count);
    // The input breaks off here (samples were lost): what follows is not filtered together with
    // what came before (the overlap starts again from silence). The time base goes on.
    void breakInput();
    // Input samples taken so far.
    std::int64_t samplesIn() const { return samplesIn_; }

private:
    struct Channel {
        std::unique_ptr<ChannelTap> tap;
        std::int64_t bin = 0;                 // k, in [0, N)
        std::vector<std::complex<float>> response;  // the N / D weights, FFT order, scaled by 1 / N
        FftPlan* inverse = nullptr;           // shared by channels of one size
    };
    void runHop();
    FftPlan& inverseOfSize(std::size_t size);

    double rate_;
    std::size_t size_;
    std::size_t hop_;
    int taps_;
    FftPlan forward_;
    std::vector<std::complex<float>> window_;  // the last N - L input samples, then the hop's
    std::size_t filled_ = 0;                   // samples of the hop in window_
    std::int64_t samplesIn_ = 0;
    std::int64_t hops_ = 0;
    std::map<int, Channel> channels_;
    std::map<std::size_t, std::unique_ptr<FftPlan>> inverses_;
    FftPlan design_;              // for the channels' filter responses
    std::vector<double> kaiser_;  // the filters' window
    int nextId_ = 1;
    SpectrumListener spectrumListener_;
};

}  // namespace nimbra::iq
