#include "synth/channel_rf.h"

#include <algorithm>
#include <cmath>

#include "synth/modulator.h"

namespace nimbra::synth {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kBitRate = 9600.0;
constexpr int kMinOversampling = 4;

// Enough samples per second for the wider of the IF filter and the signal (its tones and a bit
// rate beyond each), with room for the filters' transition bands.
int oversamplingFor(const RfChannelSettings& s)
{
    const double width = std::max(s.ifBandwidthHz, 2.0 * (s.deviationHz + kBitRate));
    return std::max(kMinOversampling, static_cast<int>(std::ceil(2.5 * width / kSampleRate)));
}

}  // namespace

RfChannel::RfChannel(RfChannelSettings settings)
    : settings_(settings), random_(settings.seed), oversampling_(oversamplingFor(settings))
{
    const double rfRate = kSampleRate * oversampling_;
    if (settings_.ifBandwidthHz > 0.0) {
        ifI_ = ButterworthLowPass(settings_.ifOrder, settings_.ifBandwidthHz / 2.0, rfRate);
        ifQ_ = ifI_;
    }
    if (settings_.audioLowPassHz > 0.0)
        audio_ = ButterworthLowPass(settings_.audioOrder, settings_.audioLowPassHz, rfRate);
}

std::vector<float> RfChannel::render(const std::vector<std::uint8_t>& bits, double samplesPerBit)
{
    std::vector<float> out;
    if (!(samplesPerBit > 0.0) || bits.empty())
        return out;
    const int oversampling = oversampling_;
    const double rfRate = kSampleRate * oversampling;
    const double rfPerBit = samplesPerBit * oversampling;
    const double total = static_cast<double>(bits.size()) * rfPerBit - startOffset_;
    const auto outputs = static_cast<std::size_t>(std::max(0.0, std::ceil(total / oversampling)));
    out.reserve(outputs);

    double sigma = 0.0;
    if (settings_.ebN0Db) {
        const double ebN0 = std::pow(10.0, *settings_.ebN0Db / 10.0);
        sigma = std::sqrt(rfPerBit / (2.0 * ebN0));  // per component
    }
    const double radPerHz = 2.0 * kPi / rfRate;
    const double hzPerRad = rfRate / (2.0 * kPi);
    const double scale = settings_.amplitude / settings_.deviationHz * (settings_.invert ? -1 : 1);
    const double lastBit = static_cast<double>(bits.size() - 1);

    // RF sample n covers [u, u + 1) in RF samples from the start of bits[0]; its phase step is
    // the frequency integrated over that interval, so bit edges between samples are exact.
    double u = startOffset_;
    for (std::size_t o = 0; o < outputs; ++o) {
        double frequency = 0.0;
        for (int r = 0; r < oversampling; ++r, u += 1.0) {
            if (settings_.carrier) {
                double k = std::min(std::floor(u / rfPerBit), lastBit);
                double from = u;
                double step = 0.0;
                while (from < u + 1.0) {
                    const double edge =
                        k >= lastBit ? u + 1.0 : std::min(u + 1.0, (k + 1) * rfPerBit);
                    const double f = bits[static_cast<std::size_t>(k)] ? -settings_.deviationHz
                                                                        : settings_.deviationHz;
                    step += (edge - from) * f;
                    from = edge;
                    k += 1.0;
                }
                phase_ = std::remainder(phase_ + step * radPerHz, 2.0 * kPi);
            }
            std::complex<double> z = settings_.carrier ? std::polar(1.0, phase_)
                                                       : std::complex<double>(0.0, 0.0);
            if (sigma > 0.0)
                z += std::complex<double>(sigma * random_.gaussian(), sigma * random_.gaussian());
            if (ifI_.active())
                z = {ifI_.process(z.real()), ifQ_.process(z.imag())};
            const double step = std::arg(z * std::conj(previous_));
            previous_ = z;
            frequency = step * hzPerRad;
            if (audio_.active())
                frequency = audio_.process(frequency);
        }
        out.push_back(static_cast<float>(frequency * scale));
    }
    startOffset_ = u - static_cast<double>(bits.size()) * rfPerBit;
    return out;
}

}  // namespace nimbra::synth
