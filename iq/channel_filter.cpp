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
// last stage's transition band is not too narrow.
constexpr double kRateMargin = 2.4;
constexpr unsigned kResamplerSemiLength = 12;
constexpr unsigned kResamplerBank = 64;

// The Kaiser design reaches its nominal attenuation only in the middle of the stop band; a
// design for this much more keeps the whole stop band, its edge included, below the plan's.
constexpr double kDesignMarginDb = 8.0;

unsigned lengthFor(const FilterStage& s, double attenuationDb)
{
    const double transition = (s.stopHz - s.passHz) / s.inputRate;
    const unsigned n = estimate_req_filter_len(static_cast<float>(std::min(transition, 0.45)),
                                               static_cast<float>(attenuationDb + kDesignMarginDb));
    return std::max(n, 3u) | 1u;
}

// Work per input sample of a chain of stages, in multiplications (real taps, complex samples),
// with the copy of each sample into a stage's buffer counted as two.
double loadOf(const std::vector<FilterStage>& stages, double attenuationDb)
{
    double load = 0.0, decimation = 1.0;
    for (const FilterStage& s : stages) {
        load += 2.0 / decimation;
        decimation *= s.decimation;
        load += 2.0 * lengthFor(s, attenuationDb) / decimation;
    }
    return load;
}

}  // namespace

ChannelPlan planChannel(double inputRate, double halfWidthHz, bool bandLimited)
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
    // Nothing that would fold into the channel at the output rate may pass the last stage: its
    // stop band starts at the output rate minus the channel's half-width. A channel too wide for
    // the input keeps a transition band of a tenth of the output rate.
    p.passHz = std::min(halfWidthHz, 0.45 * p.outputRate);
    const double lastStop = std::max(p.outputRate - p.passHz, p.passHz + 0.1 * p.outputRate);

    // A band-limited input at about the output rate needs no stage of its own: the resampler's
    // filter is enough.
    if (bandLimited && p.decimation == 1)
        return p;
    // One stage, or two (a first stage by d1 protects only the channel itself from folding at its
    // own output rate), whichever multiplies least per input sample.
    p.stages = {{p.decimation, inputRate, p.passHz, lastStop}};
    double best = loadOf(p.stages, p.attenuationDb);
    for (int d1 = 2; d1 < p.decimation; ++d1) {
        if (p.decimation % d1 != 0)
            continue;
        const double rate1 = inputRate / d1;
        const std::vector<FilterStage> two = {{d1, inputRate, p.passHz, rate1 - p.passHz},
                                              {p.decimation / d1, rate1, p.passHz, lastStop}};
        const double load = loadOf(two, p.attenuationDb);
        if (load < best) {
            best = load;
            p.stages = two;
        }
    }
    return p;
}

std::vector<float> designStageTaps(const FilterStage& s, double attenuationDb)
{
    const unsigned length = lengthFor(s, attenuationDb);
    std::vector<float> h(length);
    const double cutoff = 0.5 * (s.passHz + s.stopHz) / s.inputRate;
    liquid_firdes_kaiser(length, static_cast<float>(std::min(cutoff, 0.49)),
                         static_cast<float>(attenuationDb + kDesignMarginDb), 0.0f, h.data());
    double sum = 0.0;
    for (float v : h)
        sum += double(v);
    for (float& v : h)
        v = static_cast<float>(double(v) / sum);
    return h;
}

ChannelFilter::ChannelFilter(const ChannelPlan& plan, double centreHz) : plan_(plan), centreHz_(centreHz)
{
    for (const FilterStage& stage : plan_.stages) {
        Stage s;
        s.design = stage;
        s.taps = designStageTaps(stage, plan_.attenuationDb);
        // Each output is made as the first of its `decimation` inputs arrives, so it stands for
        // that input's time less the filter's half length. Silence before the first input.
        s.history.assign(s.taps.size() - 1, {});
        delay_ += 0.5 * double(s.taps.size() - 1) / stage.inputRate * plan_.outputRate;
        stages_.push_back(std::move(s));
    }
    nco_ = nco_crcf_create(LIQUID_NCO);
    retune(centreHz);
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
    nco_crcf_destroy(static_cast<nco_crcf>(nco_));
    if (resampler_)
        resamp_crcf_destroy(static_cast<resamp_crcf>(resampler_));
}

double ChannelFilter::firLoad() const { return loadOf(plan_.stages, plan_.attenuationDb); }

void ChannelFilter::retune(double centreHz)
{
    centreHz_ = centreHz;
    // Radians per input sample in (-pi, pi]; the phase carries on.
    const double w = std::remainder(2.0 * kPi * centreHz / plan_.inputRate, 2.0 * kPi);
    nco_crcf_set_frequency(static_cast<nco_crcf>(nco_), static_cast<float>(w));
}

void ChannelFilter::mix(const std::complex<float>* in, std::size_t count, std::complex<float>* out)
{
    auto nco = static_cast<nco_crcf>(nco_);
    const float w = nco_crcf_get_frequency(nco);
    const std::complex<float> step(std::cos(w), -std::sin(w));
    constexpr std::size_t kBlock = 1024;  // the recurrence's rounding stays below 1e-4
    for (std::size_t i = 0; i < count; i += kBlock) {
        const std::size_t n = std::min(kBlock, count - i);
        std::complex<float> p;
        nco_crcf_cexpf(nco, &p);
        p = std::conj(p);
        for (std::size_t k = 0; k < n; ++k) {
            const std::complex<float> x = in[i + k];
            out[i + k] = {x.real() * p.real() - x.imag() * p.imag(), x.real() * p.imag() + x.imag() * p.real()};
            p = {p.real() * step.real() - p.imag() * step.imag(), p.real() * step.imag() + p.imag() * step.real()};
        }
        nco_crcf_set_phase(nco, std::remainder(nco_crcf_get_phase(nco) + float(n) * w, float(2.0 * kPi)));
    }
}

void ChannelFilter::process(const std::complex<float>* in, std::size_t count,
                            std::vector<std::complex<float>>& out)
{
    mixed_.resize(count);
    mix(in, count, mixed_.data());
    const std::vector<std::complex<float>>* src = &mixed_;
    for (Stage& s : stages_) {
        const std::size_t keep = s.taps.size() - 1;
        const std::size_t base = s.history.size();  // == keep
        s.history.insert(s.history.end(), src->begin(), src->end());
        s.out.clear();
        // Input i of this block sits at history[base + i]; an output ending there needs the
        // taps - 1 inputs before it, which the history holds.
        const auto d = static_cast<std::size_t>(s.design.decimation);
        for (std::size_t i = static_cast<std::size_t>(s.phase); i < src->size(); i += d) {
            std::complex<float> y;
            dotprod_crcf_run4(s.taps.data(), s.history.data() + base + i - keep,
                              static_cast<unsigned>(s.taps.size()), &y);
            s.out.push_back(y);
        }
        const std::size_t made = s.out.size();
        s.phase = static_cast<int>(static_cast<std::size_t>(s.phase) + made * d - src->size());
        s.history.erase(s.history.begin(), s.history.end() - static_cast<long>(keep));
        src = &s.out;
    }
    if (!plan_.resample) {
        out.insert(out.end(), src->begin(), src->end());
        return;
    }
    const double rate = plan_.outputRate / plan_.decimatedRate;
    const std::size_t base = out.size();
    out.resize(base + static_cast<std::size_t>(std::ceil(double(src->size()) * rate)) + 4);
    unsigned written = 0;
    resamp_crcf_execute_block(static_cast<resamp_crcf>(resampler_), const_cast<std::complex<float>*>(src->data()),
                              static_cast<unsigned>(src->size()), out.data() + base, &written);
    out.resize(base + written);
}

}  // namespace nimbra::iq
