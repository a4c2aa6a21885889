#include "synth/channel_iq.h"

#include <algorithm>
#include <cmath>

#include "synth/modulator.h"

namespace nimbra::synth {

namespace {

constexpr double kPi = 3.14159265358979323846;

}  // namespace

IqChannel::IqChannel(IqChannelSettings settings)
    : settings_(settings), random_(settings.seed), carrierHz_(settings.offsetHz)
{
}

std::size_t IqChannel::samplesFor(std::size_t bits, double samplesPerBit) const
{
    const double perBit = samplesPerBit * settings_.sampleRate / kSampleRate;
    return static_cast<std::size_t>(std::max(0.0, std::floor(double(bits) * perBit + 1e-7)));
}

double IqChannel::noiseSigma(double samplesPerBit) const
{
    if (!settings_.ebN0Db)
        return 0.0;
    const double perBit = samplesPerBit * settings_.sampleRate / kSampleRate;
    return std::sqrt(perBit / (2.0 * std::pow(10.0, *settings_.ebN0Db / 10.0)));
}

std::vector<std::complex<float>> IqChannel::render(const std::vector<std::uint8_t>& bits,
                                                   double samplesPerBit)
{
    std::vector<std::complex<float>> out;
    if (!(samplesPerBit > 0.0) || bits.empty())
        return out;
    const double rate = settings_.sampleRate;
    const double perBit = samplesPerBit * rate / kSampleRate;
    // Only samples that end inside these bits: one that runs into the next call's bits is made
    // there, when their frequency is known.
    const double total = static_cast<double>(bits.size()) * perBit - startOffset_;
    const auto count = static_cast<std::size_t>(std::max(0.0, std::floor(total + 1e-7)));
    out.reserve(count);
    const double sigma = noiseSigma(samplesPerBit);
    const double radPerHzSample = 2.0 * kPi / rate;
    const double driftPerSample = settings_.driftHzPerS / rate;
    const double low = settings_.offsetHz - settings_.driftSpanHz;
    const double high = settings_.offsetHz + settings_.driftSpanHz;
    const double lastBit = static_cast<double>(bits.size() - 1);
    const double deviation = settings_.deviationHz;

    // Sample n covers [u, u + 1) in samples from the start of bits[0]; a u below 0 is the part of
    // the previous call's last bit that the first sample still covers.
    double u = startOffset_;
    for (std::size_t n = 0; n < count; ++n, u += 1.0) {
        if (settings_.carrier) {
            double from = u;
            double cycles = 0.0;  // the modulation's frequency integrated over the sample, Hz x samples
            if (from < 0.0) {
                cycles += -from * (previousBit_ ? -deviation : deviation);
                from = 0.0;
            }
            double k = std::min(std::floor(from / perBit), lastBit);
            while (from < u + 1.0) {
                const double edge = k >= lastBit ? u + 1.0 : std::min(u + 1.0, (k + 1.0) * perBit);
                cycles += (edge - from) * (bits[static_cast<std::size_t>(k)] ? -deviation : deviation);
                from = edge;
                k += 1.0;
            }
            phase_ = std::remainder(phase_ + (cycles + carrierHz_) * radPerHzSample, 2.0 * kPi);
        }
        if (driftPerSample != 0.0) {
            carrierHz_ += driftSign_ * driftPerSample;
            if (settings_.driftSpanHz > 0.0 && (carrierHz_ > high || carrierHz_ < low)) {
                carrierHz_ = std::clamp(carrierHz_, low, high);
                driftSign_ = -driftSign_;
            }
        }
        std::complex<double> z = settings_.carrier ? std::polar(1.0, phase_) : std::complex<double>();
        if (sigma > 0.0)
            z += std::complex<double>(sigma * random_.gaussian(), sigma * random_.gaussian());
        out.emplace_back(static_cast<float>(z.real()), static_cast<float>(z.imag()));
    }
    startOffset_ = u - static_cast<double>(bits.size()) * perBit;
    previousBit_ = bits.back();
    return out;
}

}  // namespace nimbra::synth
