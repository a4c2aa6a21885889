#include "iq/spectrum_search.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <mutex>

namespace nimbra::iq {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kMaxBinHz = 600.0;
constexpr double kSmoothingHz = 2400.0;
// Threshold: this many standard deviations of the smoothed noise above the floor.
constexpr double kThresholdSigmas = 8.0;
// Tones at least this far apart are sought as two peaks; closer ones make one hump.
constexpr double kMinToneDistanceHz = 3500.0;
constexpr double kMaxToneDistanceHz = 205000.0;
// The weaker tone of a pair carries at least this share of the stronger one's excess power.
constexpr double kMinSecondTone = 0.1;
// A single hump narrower than this (half-power width, smoothing included) is an unmodulated
// carrier: the idle line between blocks. A modulated one is wider: at the smallest deviation
// (2 kHz) about 5 kHz.
constexpr double kMinHumpWidthHz = 4000.0;
// Only deviations below about 0.3 bit rates make a single hump; its half-power half-width is
// then close to the deviation.
constexpr double kMinDeviationHz = 1500.0;

// FFTW's planner is not thread-safe; the sensitivity sweep runs receivers on several threads.
std::mutex& plannerMutex()
{
    static std::mutex m;
    return m;
}

std::size_t fftSizeFor(double rate)
{
    std::size_t n = 64;
    while (rate / double(n) > kMaxBinHz)
        n *= 2;
    return n;
}

// Circular distance between bins.
std::size_t circularDistance(std::size_t a, std::size_t b, std::size_t n)
{
    const std::size_t d = a > b ? a - b : b - a;
    return std::min(d, n - d);
}

// Offset of the true peak from bin i in bins, by a parabola through i - 1, i, i + 1.
double parabolicOffset(const std::vector<double>& s, std::size_t i)
{
    const std::size_t n = s.size();
    const double a = s[(i + n - 1) % n], b = s[i], c = s[(i + 1) % n];
    const double d = a - 2.0 * b + c;
    return d < 0.0 ? std::clamp(0.5 * (a - c) / d, -0.5, 0.5) : 0.0;
}

// Signed frequency of (fractional) shifted bin x.
double frequencyOf(double x, std::size_t n, double binHz) { return (x - double(n / 2)) * binHz; }

}  // namespace

SpectrumSearch::SpectrumSearch(double sampleRate, double intervalSeconds)
    : rate_(sampleRate), size_(fftSizeFor(sampleRate))
{
    segmentsPerInterval_ = std::max<std::size_t>(
        8, static_cast<std::size_t>(std::ceil(intervalSeconds * rate_ / double(size_))));
    window_.resize(size_);
    for (std::size_t i = 0; i < size_; ++i)
        window_[i] = static_cast<float>(0.5 - 0.5 * std::cos(2.0 * kPi * double(i) / double(size_)));
    power_.assign(size_, 0.0);
    std::lock_guard<std::mutex> lock(plannerMutex());
    in_ = reinterpret_cast<std::complex<float>*>(fftwf_alloc_complex(size_));
    out_ = reinterpret_cast<std::complex<float>*>(fftwf_alloc_complex(size_));
    plan_ = fftwf_plan_dft_1d(static_cast<int>(size_), reinterpret_cast<fftwf_complex*>(in_),
                              reinterpret_cast<fftwf_complex*>(out_), FFTW_FORWARD, FFTW_ESTIMATE);
}

SpectrumSearch::~SpectrumSearch()
{
    std::lock_guard<std::mutex> lock(plannerMutex());
    fftwf_destroy_plan(static_cast<fftwf_plan>(plan_));
    fftwf_free(in_);
    fftwf_free(out_);
}

void SpectrumSearch::reset()
{
    filled_ = 0;
    segments_ = 0;
    std::fill(power_.begin(), power_.end(), 0.0);
}

bool SpectrumSearch::add(const std::complex<float>* samples, std::size_t count)
{
    bool fresh = false;
    while (count > 0) {
        const std::size_t n = std::min(count, size_ - filled_);
        for (std::size_t i = 0; i < n; ++i)
            in_[filled_ + i] = samples[i] * window_[filled_ + i];
        filled_ += n;
        samples += n;
        count -= n;
        if (filled_ < size_)
            break;
        filled_ = 0;
        fftwf_execute(static_cast<fftwf_plan>(plan_));
        for (std::size_t i = 0; i < size_; ++i)
            power_[i] += double(std::norm(out_[i]));
        if (++segments_ == static_cast<int>(segmentsPerInterval_)) {
            evaluate();
            fresh = true;
            segments_ = 0;
            std::fill(power_.begin(), power_.end(), 0.0);
        }
    }
    return fresh;
}

void SpectrumSearch::evaluate() { estimate_ = estimateFrom(power_, rate_, segments_); }

ToneEstimate SpectrumSearch::estimateFrom(const std::vector<double>& power, double rate, int segments)
{
    ToneEstimate e;
    const std::size_t n = power.size();
    if (n < 8 || segments < 1)
        return e;
    const double bin = rate / double(n);
    // Shifted so that index n / 2 is 0 Hz; circular throughout, the band's edges being one.
    std::vector<double> p(n);
    for (std::size_t i = 0; i < n; ++i)
        p[i] = power[(i + n / 2) % n];

    const auto half = static_cast<std::size_t>(std::max(1.0, std::round(kSmoothingHz / 2.0 / bin)));
    const double width = double(2 * half + 1);
    std::vector<double> s(n);
    double run = 0.0;
    for (std::size_t d = 0; d < 2 * half + 1; ++d)
        run += p[(n - half + d) % n];
    for (std::size_t i = 0; i < n; ++i) {
        s[i] = run / width;
        run += p[(i + half + 1) % n] - p[(i + n - half) % n];
    }

    // Noise floor: the 30 % quantile, corrected for the spread of an average of `segments`
    // periodograms. Hann-windowed bins overlap, so a smoothed bin averages fewer independent
    // values than its width.
    std::vector<double> sorted(p);
    const std::size_t q = n * 3 / 10;
    std::nth_element(sorted.begin(), sorted.begin() + static_cast<long>(q), sorted.end());
    const double k = double(segments);
    const double floor = sorted[q] / std::max(0.5, 1.0 - 0.52 / std::sqrt(k));
    if (!(floor > 0.0))
        return e;
    const double sigma = floor / std::sqrt(k * width / 1.5);
    const double threshold = floor + kThresholdSigmas * sigma;

    const std::size_t i1 = static_cast<std::size_t>(std::max_element(s.begin(), s.end()) - s.begin());
    e.snrDb = 10.0 * std::log10(s[i1] / floor);
    if (s[i1] < threshold)
        return e;
    e.present = true;
    const double excess1 = s[i1] - floor;

    // A second tone: the strongest local peak far enough from the first.
    const auto minDistance = static_cast<std::size_t>(std::ceil(kMinToneDistanceHz / bin));
    const auto maxDistance = std::min(n / 2, static_cast<std::size_t>(kMaxToneDistanceHz / bin));
    std::size_t i2 = n;
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t d = circularDistance(i, i1, n);
        if (d < minDistance || d > maxDistance)
            continue;
        if (s[i] < s[(i + n - 1) % n] || s[i] < s[(i + 1) % n])
            continue;
        if (s[i] < threshold || s[i] - floor < kMinSecondTone * excess1)
            continue;
        if (i2 == n || s[i] > s[i2])
            i2 = i;
    }

    if (i2 != n) {
        // Two peaks: the tones (for close tones, the humps' shoulders, a little outside them).
        auto signedOffset = [&](std::size_t i) {
            double d = double(i) - double(i1);
            if (d > double(n / 2))
                d -= double(n);
            if (d < -double(n / 2))
                d += double(n);
            return d;
        };
        const double x1 = double(i1) + parabolicOffset(s, i1);
        const double x2 = double(i1) + signedOffset(i2) + parabolicOffset(s, i2);
        e.centreHz = frequencyOf(0.5 * (x1 + x2), n, bin);
        e.deviationHz = 0.5 * std::fabs(x2 - x1) * bin;
    } else {
        // One hump: its half-power edges (against the floor) lie a little outside the tones.
        const double level = floor + 0.5 * excess1;
        std::size_t left = 0, right = 0;
        while (left < n / 2 && s[(i1 + n - left - 1) % n] >= level)
            ++left;
        while (right < n / 2 && s[(i1 + right + 1) % n] >= level)
            ++right;
        const double widthHz = double(left + right + 1) * bin;
        if (widthHz < kMinHumpWidthHz)
            return e;  // a carrier with no data on it (yet)
        e.centreHz = frequencyOf(double(i1) + 0.5 * (double(right) - double(left)), n, bin);
        e.deviationHz = std::max(0.5 * widthHz - 0.5 * kSmoothingHz, kMinDeviationHz);
    }
    // The centre in (-rate / 2, rate / 2].
    e.centreHz = std::remainder(e.centreHz, rate);
    e.found = true;
    return e;
}

}  // namespace nimbra::iq
