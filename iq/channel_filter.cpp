#include "iq/channel_filter.h"

#include <complex>
// liquid-dsp uses std::complex<float> for its complex type when <complex> comes first.
#include <liquid/liquid.h>

#include <algorithm>
#include <cmath>

namespace nimbra::iq {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDetectorBaseRate = 48000.0;
// The detector's rate holds the channel's full width with this factor to spare, so that the
// FIR filter's transition band is not too narrow.
constexpr double kRateMargin = 2.4;
constexpr unsigned kResamplerSemiLength = 12;
constexpr unsigned kResamplerBank = 64;

nco_crcf ncoOf(void* p) { return static_cast<nco_crcf>(p); }

}  // namespace

ChannelPlan planChannel(double inputRate, double halfWidthHz)
{
    ChannelPlan p;
    p.inputRate = inputRate;
    const int maxMultiple = std::max(1, static_cast<int>(std::floor(inputRate / kDetectorBaseRate)));
    p.rateMultiple = std::clamp(static_cast<int>(std::ceil(kRateMargin * halfWidthHz / kDetectorBaseRate)), 1,
                                maxMultiple);
    p.outputRate = kDetectorBaseRate * p.rateMultiple;
    p.decimation = std::max(1, static_cast<int>(std::floor(inputRate / p.outputRate)));
    p.decimatedRate = inputRate / p.decimation;
    p.resample = std::fabs(p.decimatedRate - p.outputRate) > 1e-6 * p.outputRate;
    // Nothing that folds into the channel at the final rate may pass: the stop band starts at
    // the output rate minus the channel's half-width. A channel too wide for the input keeps
    // a transition band of at least a tenth of the output rate.
    p.passHz = std::min(halfWidthHz, 0.45 * p.outputRate);
    p.stopHz = std::max(p.outputRate - p.passHz, p.passHz + 0.1 * p.outputRate);
    return p;
}

std::vector<float> designChannelTaps(const ChannelPlan& p)
{
    const double transition = (p.stopHz - p.passHz) / p.inputRate;
    unsigned length = estimate_req_filter_len(static_cast<float>(transition),
                                              static_cast<float>(p.attenuationDb));
    length = std::max(length, 3u) | 1u;  // odd: a whole-sample delay
    std::vector<float> h(length);
    const double cutoff = 0.5 * (p.passHz + p.stopHz) / p.inputRate;
    liquid_firdes_kaiser(length, static_cast<float>(cutoff), static_cast<float>(p.attenuationDb), 0.0f, h.data());
    double sum = 0.0;
    for (float v : h)
        sum += double(v);
    for (float& v : h)
        v = static_cast<float>(double(v) / sum);
    return h;
}

ChannelFilter::ChannelFilter(const ChannelPlan& plan, double centreHz)
    : plan_(plan), taps_(designChannelTaps(plan))
{
    nco_ = nco_crcf_create(LIQUID_VCO);
    retune(centreHz);
    const auto n = static_cast<unsigned>(taps_.size());
    if (plan_.decimation > 1)
        decimator_ = firdecim_crcf_create(static_cast<unsigned>(plan_.decimation), taps_.data(), n);
    else
        decimator_ = firfilt_crcf_create(taps_.data(), n);
    delay_ = 0.5 * double(n - 1) / plan_.inputRate * plan_.outputRate;
    if (plan_.resample) {
        const double rate = plan_.outputRate / plan_.decimatedRate;
        resampler_ = resamp_crcf_create(static_cast<float>(rate), kResamplerSemiLength,
                                        static_cast<float>(std::min(0.49, 0.5 * rate)), 60.0f,
                                        kResamplerBank);
        delay_ += double(kResamplerSemiLength) * rate;
    }
}

ChannelFilter::~ChannelFilter()
{
    nco_crcf_destroy(ncoOf(nco_));
    if (plan_.decimation > 1)
        firdecim_crcf_destroy(static_cast<firdecim_crcf>(decimator_));
    else
        firfilt_crcf_destroy(static_cast<firfilt_crcf>(decimator_));
    if (resampler_)
        resamp_crcf_destroy(static_cast<resamp_crcf>(resampler_));
}

void ChannelFilter::retune(double centreHz)
{
    centreHz_ = centreHz;
    // The oscillator's frequency in radians per sample, in (-pi, pi].
    const double w = std::remainder(2.0 * kPi * centreHz / plan_.inputRate, 2.0 * kPi);
    nco_crcf_set_frequency(ncoOf(nco_), static_cast<float>(w));
}

void ChannelFilter::process(const std::complex<float>* in, std::size_t count,
                            std::vector<std::complex<float>>& out)
{
    if (count == 0)
        return;
    const std::size_t have = mixed_.size();
    mixed_.resize(have + count);
    nco_crcf_mix_block_down(ncoOf(nco_), const_cast<std::complex<float>*>(in), mixed_.data() + have,
                            static_cast<unsigned>(count));
    const auto d = static_cast<std::size_t>(plan_.decimation);
    const std::size_t outputs = mixed_.size() / d;
    std::vector<std::complex<float>>& stage = plan_.resample ? decimated_ : out;
    const std::size_t first = stage.size();
    stage.resize(first + outputs);
    if (d > 1)
        firdecim_crcf_execute_block(static_cast<firdecim_crcf>(decimator_), mixed_.data(),
                                    static_cast<unsigned>(outputs), stage.data() + first);
    else
        firfilt_crcf_execute_block(static_cast<firfilt_crcf>(decimator_), mixed_.data(),
                                   static_cast<unsigned>(outputs), stage.data() + first);
    // The input samples of a decimated output still to come stay in front.
    mixed_.erase(mixed_.begin(), mixed_.begin() + static_cast<long>(outputs * d));
    if (!plan_.resample)
        return;
    const double rate = plan_.outputRate / plan_.decimatedRate;
    const std::size_t base = out.size();
    out.resize(base + static_cast<std::size_t>(std::ceil(double(decimated_.size()) * rate)) + 4);
    unsigned written = 0;
    resamp_crcf_execute_block(static_cast<resamp_crcf>(resampler_), decimated_.data(),
                              static_cast<unsigned>(decimated_.size()), out.data() + base, &written);
    out.resize(base + written);
    decimated_.clear();
}

}  // namespace nimbra::iq
