#include "synth/dongle.h"

#include <cmath>

namespace nimbra::synth {

namespace {

constexpr double kPi = 3.14159265358979323846;

}  // namespace

double dongleGainFor(double meanPower) { return 0.2 / std::sqrt(0.5 * meanPower); }

Dongle::Dongle(const DongleSettings& s, double meanPower)
    : gain_(s.gain > 0.0 ? s.gain : dongleGainFor(meanPower)), dcI_(s.dcI), dcQ_(s.dcQ)
{
    const double a = std::pow(10.0, s.iqGainDb / 20.0);
    const double phi = s.iqPhaseDeg * kPi / 180.0;
    a_cos_ = a * std::cos(phi);
    a_sin_ = a * std::sin(phi);
}

void Dongle::apply(std::vector<std::complex<float>>& samples) const
{
    for (std::complex<float>& z : samples) {
        const double i = double(z.real()) * gain_, q = double(z.imag()) * gain_;
        z = {static_cast<float>(i + dcI_), static_cast<float>(a_cos_ * q + a_sin_ * i + dcQ_)};
    }
}

}  // namespace nimbra::synth
