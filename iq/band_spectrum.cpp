#include "iq/band_spectrum.h"

#include <algorithm>
#include <cmath>

namespace nimbra::iq {

namespace {

constexpr double kSmoothingHz = 2400.0;
constexpr double kThresholdSigmas = 8.0;
constexpr double kFloorQuantile = 0.3;
constexpr std::size_t kSegments = 16;
constexpr std::size_t kMinSegmentBins = 16;
constexpr int kLineBins = 2;              // a carrier's power lies within this many bins of its peak
constexpr double kLineConcentration = 0.95;

double quantileOf(std::vector<double> v, double q)
{
    const auto k = static_cast<std::size_t>(q * double(v.size() - 1));
    std::nth_element(v.begin(), v.begin() + static_cast<long>(k), v.end());
    return v[k];
}

double toDb(double power) { return 10.0 * std::log10(std::max(power, 1e-30)); }

}  // namespace

std::size_t BandView::binAt(double hz) const
{
    const double x = hz / binHz + double(powerDb.size() / 2);
    return static_cast<std::size_t>(std::clamp(std::lround(x), 0l, static_cast<long>(powerDb.size()) - 1));
}

double BandView::levelDbAt(double hz) const
{
    if (powerDb.empty())
        return 0.0;
    const std::size_t i = binAt(hz);
    return double(powerDb[i] - floorDb[i]);
}

double BandView::noiseVarianceAt(double hz) const
{
    if (floorDb.empty() || !(windowEnergy > 0.0))
        return 0.0;
    return std::pow(10.0, double(floorDb[binAt(hz)]) / 10.0) / windowEnergy;
}

BandSpectrum::BandSpectrum(double rate, std::size_t fftSize, std::size_t hop, double intervalSeconds)
    : rate_(rate), size_(fftSize),
      hopsPerInterval_(std::max(4, static_cast<int>(std::lround(intervalSeconds * rate / double(hop))))),
      power_(fftSize, 0.0), hopPower_(fftSize, 0.0f)
{
}

bool BandSpectrum::add(const std::complex<float>* x, std::int64_t endSample)
{
    // The Hann window of the block, as a convolution of its rectangular FFT: 0.5 X[b] - 0.25
    // (X[b - 1] + X[b + 1]), the ends wrapping round. Written on the parts so that it vectorises.
    const std::size_t n = size_;
    const float* v = reinterpret_cast<const float*>(x);
    float* p = hopPower_.data();
    auto at = [&](std::size_t b, std::size_t before, std::size_t after) {
        const float re = 0.5f * v[2 * b] - 0.25f * (v[2 * before] + v[2 * after]);
        const float im = 0.5f * v[2 * b + 1] - 0.25f * (v[2 * before + 1] + v[2 * after + 1]);
        p[b] += re * re + im * im;
    };
    at(0, n - 1, 1);
    for (std::size_t b = 1; b + 1 < n; ++b) {
        const float re = 0.5f * v[2 * b] - 0.25f * (v[2 * b - 2] + v[2 * b + 2]);
        const float im = 0.5f * v[2 * b + 1] - 0.25f * (v[2 * b - 1] + v[2 * b + 3]);
        p[b] += re * re + im * im;
    }
    at(n - 1, n - 2, 0);
    if (++hops_ < hopsPerInterval_)
        return false;
    for (std::size_t b = 0; b < n; ++b) {
        power_[b] = double(hopPower_[b]);
        hopPower_[b] = 0.0f;
    }
    view_ = viewOf(power_, rate_, hops_);
    view_.endSample = endSample;
    hops_ = 0;
    return true;
}

void BandSpectrum::restartInterval()
{
    std::fill(hopPower_.begin(), hopPower_.end(), 0.0f);
    hops_ = 0;
}

BandView BandSpectrum::viewOf(const std::vector<double>& power, double rate, int averaged)
{
    BandView v;
    const std::size_t n = power.size();
    v.rate = rate;
    v.binHz = rate / double(n);
    v.windowEnergy = 3.0 * double(n) / 8.0;
    if (n < 8 || averaged < 1)
        return v;
    std::vector<double> p(n);
    for (std::size_t i = 0; i < n; ++i)
        p[i] = power[(i + n / 2) % n] / double(averaged);

    // The floor, segment by segment. The quantile of an average of k periodograms lies below
    // their mean; the factor corrects for it.
    const double k = double(averaged);
    const double correction = std::max(0.5, 1.0 - 0.52 / std::sqrt(k));
    const std::size_t segment = std::max(kMinSegmentBins, n / kSegments);
    const std::size_t segments = std::max<std::size_t>(1, n / segment);
    std::vector<double> quantiles(segments);
    for (std::size_t s = 0; s < segments; ++s) {
        const std::size_t from = s * segment, to = s + 1 == segments ? n : from + segment;
        quantiles[s] = quantileOf(std::vector<double>(p.begin() + static_cast<long>(from), p.begin() + static_cast<long>(to)),
                                  kFloorQuantile) / correction;
    }
    std::vector<double> lowest(segments);
    for (std::size_t s = 0; s < segments; ++s)
        lowest[s] = std::min({quantiles[s], quantiles[s > 0 ? s - 1 : s], quantiles[s + 1 < segments ? s + 1 : s]});
    std::vector<double> floor(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double x = (double(i) + 0.5) / double(segment) - 0.5;  // in segments, from the first's centre
        const auto s0 = static_cast<std::size_t>(std::clamp(std::floor(x), 0.0, double(segments - 1)));
        const std::size_t s1 = std::min(s0 + 1, segments - 1);
        const double f = std::clamp(x - double(s0), 0.0, 1.0);
        floor[i] = lowest[s0] * (1.0 - f) + lowest[s1] * f;
    }

    // Smoothed over 2.4 kHz (fewer bins at the band's edges).
    const auto half = static_cast<std::size_t>(std::max(1.0, std::round(kSmoothingHz / 2.0 / v.binHz)));
    std::vector<double> prefix(n + 1, 0.0);
    for (std::size_t i = 0; i < n; ++i)
        prefix[i + 1] = prefix[i] + p[i];
    std::vector<double> smooth(n);
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t a = i >= half ? i - half : 0, b = std::min(n, i + half + 1);
        smooth[i] = (prefix[b] - prefix[a]) / double(b - a);
    }
    const double width = double(2 * half + 1);
    const double sigmas = kThresholdSigmas / std::sqrt(k * width / 1.5);

    v.powerDb.resize(n);
    v.floorDb.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        v.powerDb[i] = static_cast<float>(toDb(p[i]));
        v.floorDb[i] = static_cast<float>(toDb(floor[i]));
    }
    auto hzOf = [&](double bin) { return (bin - double(n / 2)) * v.binHz; };
    std::size_t i = 0;
    while (i < n) {
        if (!(floor[i] > 0.0) || smooth[i] <= floor[i] * (1.0 + sigmas)) {
            ++i;
            continue;
        }
        // A run, with gaps of up to two bins bridged.
        std::size_t last = i, j = i + 1;
        while (j < n && j <= last + 3) {
            if (smooth[j] > floor[j] * (1.0 + sigmas))
                last = j;
            ++j;
        }
        SpectrumRegion r;
        std::size_t peak = i;
        double excess = 0.0;
        for (std::size_t m = i; m <= last; ++m) {
            if (smooth[m] - floor[m] > smooth[peak] - floor[peak])
                peak = m;
            excess += std::max(0.0, p[m] - floor[m]);
        }
        // The raw peak near the smoothed one, and how much of the power lies right around it.
        std::size_t rawPeak = peak;
        for (std::size_t m = i; m <= last; ++m)
            if (p[m] > p[rawPeak])
                rawPeak = m;
        double near = 0.0;
        for (std::size_t m = rawPeak >= std::size_t(kLineBins) ? rawPeak - kLineBins : 0;
             m <= std::min(n - 1, rawPeak + kLineBins); ++m)
            near += std::max(0.0, p[m] - floor[m]);
        // The smoothing widens a run by its half-width on each side.
        const double lowBin = std::min(double(rawPeak), double(i) + double(half));
        const double highBin = std::max(double(rawPeak), double(last) - double(half));
        r.lowHz = hzOf(lowBin) - 0.5 * v.binHz;
        r.highHz = hzOf(highBin) + 0.5 * v.binHz;
        r.peakHz = hzOf(double(rawPeak));
        r.levelDb = toDb(smooth[peak] / floor[peak]);
        r.line = r.widthHz() < kMinModulatedHz || (excess > 0.0 && near / excess >= kLineConcentration);
        v.regions.push_back(r);
        i = last + 1;
    }
    return v;
}

void reduceView(const BandView& view, std::size_t points, std::vector<float>& powerDb, std::vector<float>& floorDb)
{
    powerDb.clear();
    floorDb.clear();
    const std::size_t n = std::min(view.powerDb.size(), view.floorDb.size());
    points = std::min(n, points);
    for (std::size_t k = 0; k < points; ++k) {
        const std::size_t from = k * n / points, to = std::max(from + 1, (k + 1) * n / points);
        float power = view.powerDb[from], floor = view.floorDb[from];
        for (std::size_t i = from; i < to; ++i) {
            power = std::max(power, view.powerDb[i]);
            floor = std::min(floor, view.floorDb[i]);
        }
        powerDb.push_back(power);
        floorDb.push_back(floor);
    }
}

}  // namespace nimbra::iq
