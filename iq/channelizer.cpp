#include "iq/channelizer.h"

#include <complex>
// liquid-dsp uses std::complex<float> for its complex type when <complex> comes first.
#include <liquid/liquid.h>

#include <algorithm>
#include <cmath>

namespace nimbra::iq {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kMaxBinHz = 600.0;
constexpr double kAttenuationDb = 68.0;
constexpr std::size_t kMinSize = 64;
// A channel keeps at least this many bins, so that its own filters have room.
constexpr std::size_t kMinChannelBins = 8;

std::size_t sizeFor(double rate)
{
    std::size_t n = kMinSize;
    while (rate / double(n) > kMaxBinHz)
        n *= 2;
    return n;
}

}  // namespace

Channelizer::Channelizer(double inputRate)
    : rate_(inputRate), size_(sizeFor(inputRate)), hop_(3 * size_ / 4),
      taps_(static_cast<int>(size_ - hop_ + 1)), forward_(size_, FftPlan::Direction::Forward),
      window_(size_), design_(size_, FftPlan::Direction::Forward)
{
    // Every channel's filter has the same length and attenuation, so the same Kaiser window: made
    // once, since its Bessel functions cost more than all the rest of a design.
    const float beta = kaiser_beta_As(static_cast<float>(kAttenuationDb));
    kaiser_.resize(static_cast<std::size_t>(taps_));
    for (int i = 0; i < taps_; ++i)
        kaiser_[static_cast<std::size_t>(i)] = double(liquid_kaiser(static_cast<unsigned>(i), static_cast<unsigned>(taps_), beta));
}

Channelizer::~Channelizer() = default;

double Channelizer::transitionHz() const
{
    // Kaiser's estimate of the length a transition band needs, solved for the band.
    return (kAttenuationDb - 7.95) / (14.36 * double(taps_ - 1)) * rate_;
}

FftPlan& Channelizer::inverseOfSize(std::size_t size)
{
    auto& plan = inverses_[size];
    if (!plan)
        plan = std::make_unique<FftPlan>(size, FftPlan::Direction::Inverse);
    return *plan;
}

int Channelizer::addChannel(double centreHz, double halfWidthHz, double minOutputRate)
{
    const double transition = transitionHz();
    const double needed = std::max(2.0 * (halfWidthHz + transition), minOutputRate);
    std::size_t d = 1;
    while (d * 2 <= size_ / kMinChannelBins && rate_ / double(d * 2) >= needed)
        d *= 2;
    const std::size_t bins = size_ / d;

    Channel c;
    c.tap = std::make_unique<ChannelTap>();
    const auto n = static_cast<std::int64_t>(size_);
    const auto k = static_cast<std::int64_t>(std::llround(centreHz / binHz()));
    c.bin = ((k % n) + n) % n;
    c.tap->centreHz = double(k) * binHz();
    c.tap->decimation = static_cast<int>(d);
    c.tap->outputRate = rate_ / double(d);
    c.tap->passHz = halfWidthHz;
    c.tap->firstOutput = hops_ * static_cast<std::int64_t>(hop_ / d);

    // The filter at the input rate, P taps, flat to the half-width (a windowed sinc with its
    // cutoff in the middle of the transition band, unit gain at 0 Hz); its response on the N
    // bins, of which the channel keeps the N / D around 0 Hz.
    const double cutoff = std::min(0.49, (halfWidthHz + 0.5 * transition) / rate_);
    const double middle = 0.5 * double(taps_ - 1);
    std::vector<double> h(static_cast<std::size_t>(taps_));
    double sum = 0.0;
    for (std::size_t i = 0; i < h.size(); ++i) {
        const double x = 2.0 * cutoff * (double(i) - middle);
        h[i] = kaiser_[i] * (x == 0.0 ? 1.0 : std::sin(kPi * x) / (kPi * x));
        sum += h[i];
    }
    FftPlan& design = design_;
    for (std::size_t i = 0; i < size_; ++i)
        design.in()[i] = i < h.size() ? std::complex<float>(static_cast<float>(h[i] / sum), 0.0f) : std::complex<float>();
    design.execute();
    c.response.resize(bins);
    const float scale = 1.0f / static_cast<float>(size_);
    for (std::size_t b = 0; b < bins; ++b) {
        const std::size_t source = b < bins / 2 ? b : size_ - (bins - b);
        c.response[b] = design.out()[source] * scale;
    }
    c.inverse = &inverseOfSize(bins);
    const int id = nextId_++;
    channels_.emplace(id, std::move(c));
    return id;
}

void Channelizer::removeChannel(int id) { channels_.erase(id); }

void Channelizer::process(const std::complex<float>* samples, std::size_t count)
{
    const std::size_t keep = size_ - hop_;
    while (count > 0) {
        const std::size_t n = std::min(count, hop_ - filled_);
        std::copy(samples, samples + n, window_.begin() + static_cast<long>(keep + filled_));
        filled_ += n;
        samples += n;
        count -= n;
        samplesIn_ += static_cast<std::int64_t>(n);
        if (filled_ == hop_) {
            runHop();
            std::copy(window_.end() - static_cast<long>(keep), window_.end(), window_.begin());
            filled_ = 0;
        }
    }
}

void Channelizer::breakInput()
{
    // The hop under way is completed with silence, so that every channel's time base goes on in
    // whole hops; the overlap it leaves is silence too.
    if (filled_ > 0) {
        std::fill(window_.begin() + static_cast<long>(size_ - hop_ + filled_), window_.end(), std::complex<float>());
        samplesIn_ += static_cast<std::int64_t>(hop_ - filled_);
        runHop();
        filled_ = 0;
    }
    std::fill(window_.begin(), window_.end(), std::complex<float>());
}

void Channelizer::runHop()
{
    std::copy(window_.begin(), window_.end(), forward_.in());
    forward_.execute();
    const std::complex<float>* x = forward_.out();
    if (spectrumListener_)
        spectrumListener_(x, size_);

    const auto n = static_cast<std::int64_t>(size_);
    const std::int64_t start = hops_ * static_cast<std::int64_t>(hop_) - static_cast<std::int64_t>(size_ - hop_);
    for (auto& [id, c] : channels_) {
        const std::size_t bins = c.response.size();
        const std::size_t d = size_ / bins;
        std::complex<float>* in = c.inverse->in();
        // Output bin b (FFT order) takes input bin k + b for the upper half, k + b - bins for the
        // lower, wrapping round the band: copied in runs that do not wrap.
        const std::complex<float>* w = c.response.data();
        const std::size_t half = bins / 2;
        auto weigh = [&](std::size_t outFrom, std::size_t count, std::int64_t inFrom) {
            std::size_t done = 0;
            while (done < count) {
                const auto start = static_cast<std::size_t>(((inFrom + std::int64_t(done)) % n + n) % n);
                const std::size_t run = std::min(count - done, size_ - start);
                const std::complex<float>* src = x + start;
                for (std::size_t i = 0; i < run; ++i) {
                    const std::complex<float> v = src[i], r = w[outFrom + done + i];
                    in[outFrom + done + i] = {v.real() * r.real() - v.imag() * r.imag(),
                                              v.real() * r.imag() + v.imag() * r.real()};
                }
                done += run;
            }
        };
        weigh(0, half, c.bin);
        weigh(half, bins - half, c.bin - std::int64_t(bins - half));
        c.inverse->execute();
        // The bins were taken relative to the block's first sample: turn the block to the
        // absolute time base, e^{-j 2 pi k start / N}.
        const std::int64_t turns = ((c.bin * (start % n)) % n + n) % n;
        const double angle = -2.0 * kPi * double(turns) / double(n);
        const std::complex<float> phase(static_cast<float>(std::cos(angle)), static_cast<float>(std::sin(angle)));
        const std::complex<float>* y = c.inverse->out();
        std::vector<std::complex<float>>& out = c.tap->output;
        for (std::size_t i = (size_ - hop_) / d; i < bins; ++i) {
            const std::complex<float> v = y[i];
            out.push_back({v.real() * phase.real() - v.imag() * phase.imag(),
                           v.real() * phase.imag() + v.imag() * phase.real()});
        }
    }
    ++hops_;
}

}  // namespace nimbra::iq
