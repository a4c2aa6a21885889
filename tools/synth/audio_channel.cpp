#include "synth/audio_channel.h"

#include <cmath>

#include "synth/modulator.h"
#include "synth/random.h"

namespace nimbra::synth {

double noiseSigmaFor(double amplitude, double samplesPerBit, double ebN0Db)
{
    const double ebN0 = std::pow(10.0, ebN0Db / 10.0);
    return amplitude * std::sqrt(samplesPerBit / (2.0 * ebN0));
}

std::vector<float> AudioChannel::render(const std::vector<std::uint8_t>& bits, double samplesPerBit)
{
    std::vector<float> out = modulateLevels(bits, samplesPerBit);
    const double a = settings_.invert ? -settings_.amplitude : settings_.amplitude;
    if (settings_.ebN0Db) {
        const double sigma = noiseSigmaFor(settings_.amplitude, samplesPerBit, *settings_.ebN0Db);
        Random random(settings_.seed);
        for (float& v : out)
            v = static_cast<float>(a * static_cast<double>(v) + sigma * random.gaussian());
    } else {
        for (float& v : out)
            v = static_cast<float>(a * static_cast<double>(v));
    }
    if (settings_.lowPassHz > 0.0)
        lowPassInPlace(out, settings_.lowPassHz);
    if (settings_.highPassHz > 0.0)
        highPassInPlace(out, settings_.highPassHz);
    return out;
}

void lowPassInPlace(std::vector<float>& samples, double cutoffHz, double sampleRate)
{
    if (!(cutoffHz > 0.0) || cutoffHz >= sampleRate / 2.0)
        return;
    const double pi = 3.14159265358979323846;
    const double k = std::tan(pi * cutoffHz / sampleRate);
    const double q = std::sqrt(0.5);
    const double norm = 1.0 / (1.0 + k / q + k * k);
    const double b0 = k * k * norm;
    const double b1 = 2.0 * b0;
    const double b2 = b0;
    const double a1 = 2.0 * (k * k - 1.0) * norm;
    const double a2 = (1.0 - k / q + k * k) * norm;
    // Start from the first sample's steady state, so a constant input passes unchanged.
    double x1 = samples.empty() ? 0.0 : static_cast<double>(samples.front());
    double x2 = x1, y1 = x1, y2 = x1;
    for (float& v : samples) {
        const double x = static_cast<double>(v);
        const double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        v = static_cast<float>(y);
    }
}

void highPassInPlace(std::vector<float>& samples, double cutoffHz, double sampleRate)
{
    if (!(cutoffHz > 0.0) || cutoffHz >= sampleRate / 2.0)
        return;
    const double pi = 3.14159265358979323846;
    const double k = std::tan(pi * cutoffHz / sampleRate);
    const double b0 = 1.0 / (1.0 + k);
    const double a1 = (k - 1.0) / (1.0 + k);
    double x1 = 0.0, y1 = 0.0;
    for (float& v : samples) {
        const double x = static_cast<double>(v);
        const double y = b0 * (x - x1) - a1 * y1;
        x1 = x;
        y1 = y;
        v = static_cast<float>(y);
    }
}

}  // namespace nimbra::synth
