#include "iq/tone_pair_search.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "iq/fft_plans.h"

namespace nimbra::iq {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kResolutionHz = 300.0;   // frequency step of the pair search, at least
// The windows: three bits, Hann-tapered: the taper keeps a carrier's leakage from the rest of the
// channel (at 20 kHz from a carrier 50 dB down), the length keeps tones 4 kHz apart apart.
constexpr double kWindowBits = 3.0;
constexpr double kSpanBins = 256.0;       // bins across the span, at most about
constexpr std::size_t kMaxSignalBins = 160;
constexpr double kSignalBin = 1.5;        // mean power against the floor for a bin to be searched
constexpr float kClearly = 4.0f;          // a tone clearly the stronger: this many times the other
constexpr double kMinShare = 0.03;
constexpr double kMaxBothShare = 0.10;
constexpr float kBothStrong = 0.4f;       // of a winning tone's typical power
constexpr double kMaxImbalanceDb = 8.0;
constexpr float kSteady = 0.5f;           // a carrier's power seldom falls below this share of its median
constexpr double kMinKeying = 2.0;
constexpr double kEdgeHz = 1500.0;        // the band limit's roll-off beyond the span
constexpr double kKeyingPieceS = 0.01;    // 96 bits: a clock 2,500 ppm off slips a quarter bit
// Frequencies of the squared difference where keying at 9,600 bit/s makes no line, as multiples
// of the bit rate.
constexpr double kReferenceLines[] = {0.62, 0.71, 1.29, 1.38};

std::size_t powerOfTwoAtLeast(double x)
{
    std::size_t n = 1;
    while (double(n) < x)
        n *= 2;
    return n;
}

double quantile(std::vector<double> v, double q)
{
    if (v.empty())
        return 0.0;
    const auto k = static_cast<std::size_t>(q * double(v.size() - 1));
    std::nth_element(v.begin(), v.begin() + static_cast<long>(k), v.end());
    return v[k];
}

float quantileF(std::vector<float> v, double q)
{
    if (v.empty())
        return 0.0f;
    const auto k = static_cast<std::size_t>(q * double(v.size() - 1));
    std::nth_element(v.begin(), v.begin() + static_cast<long>(k), v.end());
    return v[k];
}

// The windows' powers at the span's frequencies, bin-major: power[j * windows + t].
struct Spectrogram {
    double binHz = 0.0;
    long firstBin = 0;        // signed FFT index of row 0
    std::size_t rows = 0, windows = 0;
    std::vector<float> power;
    double floor = 0.0;       // a window's power at a frequency holding only noise
    const float* row(std::size_t j) const { return power.data() + j * windows; }
};

Spectrogram makeSpectrogram(const std::vector<std::complex<float>>& z, double rate, double bitRate, double lowHz,
                            double highHz, double noiseVariance)
{
    Spectrogram s;
    const double bit = rate / bitRate;
    const auto length = static_cast<std::size_t>(std::max(3.0, std::round(kWindowBits * bit)));
    std::vector<float> taper(length);
    for (std::size_t i = 0; i < length; ++i)
        taper[i] = static_cast<float>(0.5 - 0.5 * std::cos(2.0 * kPi * (double(i) + 0.5) / double(length)));
    // Bins of 300 Hz, or coarser across a wide span (the refinement makes up for it).
    const double resolution = std::max(kResolutionHz, (highHz - lowHz) / kSpanBins);
    const std::size_t size = powerOfTwoAtLeast(std::max(4.0 * double(length), rate / resolution));
    s.binHz = rate / double(size);
    if (z.size() < length + 1)
        return s;
    s.windows = static_cast<std::size_t>(std::floor(double(z.size() - length) / bit)) + 1;
    s.firstBin = static_cast<long>(std::ceil(lowHz / s.binHz));
    const long last = static_cast<long>(std::floor(highHz / s.binHz));
    if (last < s.firstBin)
        return s;
    s.rows = static_cast<std::size_t>(last - s.firstBin + 1);
    s.power.assign(s.rows * s.windows, 0.0f);
    const bool measureNoise = !(noiseVariance > 0.0);
    std::vector<double> mean(measureNoise ? size : 0, 0.0);
    FftPlan fft(size, FftPlan::Direction::Forward);
    const auto n = static_cast<long>(size);
    // The transform leaves its input as it was: past the window it stays zero.
    std::complex<float>* in = fft.in();
    for (std::size_t i = 0; i < size; ++i)
        in[i] = {};
    constexpr std::size_t kChunk = 64;
    std::vector<float> chunk(kChunk * s.rows);
    std::vector<std::size_t> source(s.rows);  // the FFT bin of each row
    for (std::size_t j = 0; j < s.rows; ++j)
        source[j] = static_cast<std::size_t>(((s.firstBin + static_cast<long>(j)) % n + n) % n);
    for (std::size_t t = 0; t < s.windows; ++t) {
        const auto start = static_cast<std::size_t>(std::llround(double(t) * bit));
        for (std::size_t i = 0; i < length; ++i)
            in[i] = start + i < z.size() ? z[start + i] * taper[i] : std::complex<float>();
        fft.execute();
        const std::complex<float>* out = fft.out();
        if (measureNoise)
            for (std::size_t b = 0; b < size; ++b)
                mean[b] += double(std::norm(out[b]));
        // Gathered window by window, then written out row by row, a chunk of windows at a time
        // (a store per row and window would touch a cache line each).
        float* column = chunk.data() + (t % kChunk) * s.rows;
        for (std::size_t j = 0; j < s.rows; ++j)
            column[j] = std::norm(out[source[j]]);
        if (t % kChunk == kChunk - 1 || t + 1 == s.windows) {
            const std::size_t first = t - t % kChunk, count = t % kChunk + 1;
            for (std::size_t j = 0; j < s.rows; ++j) {
                float* row = s.power.data() + j * s.windows + first;
                for (std::size_t k = 0; k < count; ++k)
                    row[k] = chunk[k * s.rows + j];
            }
        }
    }
    // The noise: a window's power of white noise is its variance times the taper's energy;
    // without the variance, a low quantile of the mean power over the whole channel.
    if (!measureNoise) {
        double energy = 0.0;
        for (float w : taper)
            energy += double(w) * double(w);
        s.floor = noiseVariance * energy;
    } else {
        for (double& m : mean)
            m /= double(s.windows);
        s.floor = quantile(mean, 0.3);
    }
    return s;
}

// A frequency whose power hardly changes from window to window holds a carrier (a spur, the DC
// spike) or its leakage: a tone of FSK gives way to the other tone in some windows.
bool steady(const Spectrogram& s, std::size_t j)
{
    // Every fourth window is enough to tell.
    const float* r = s.row(j);
    std::vector<float> v;
    v.reserve(s.windows / 4 + 1);
    for (std::size_t t = 0; t < s.windows; t += 4)
        v.push_back(r[t]);
    const float median = quantileF(v, 0.5);
    return median > kClearly * static_cast<float>(s.floor) && quantileF(v, 0.05) > kSteady * median;
}

// The samples with everything outside [low, high] taken away (one FFT over all of them, a
// raised-cosine edge of kEdgeHz each side): a carrier beside the span would otherwise leak into
// the one-bit correlations that refine the tones and measure the keying.
std::vector<std::complex<float>> bandLimited(const std::vector<std::complex<float>>& z, double rate, double low,
                                             double high)
{
    const std::size_t size = powerOfTwoAtLeast(double(z.size()));
    FftPlan forward(size, FftPlan::Direction::Forward), inverse(size, FftPlan::Direction::Inverse);
    std::copy(z.begin(), z.end(), forward.in());
    forward.execute();
    const double bin = rate / double(size);
    const auto scale = static_cast<float>(1.0 / double(size));
    for (std::size_t b = 0; b < size; ++b) {
        const double f = (b < size / 2 ? double(b) : double(b) - double(size)) * bin;
        const double outside = std::max(low - f, f - high);  // Hz beyond the span, negative inside
        double gain = 1.0;
        if (outside >= kEdgeHz)
            gain = 0.0;
        else if (outside > 0.0)
            gain = 0.5 + 0.5 * std::cos(kPi * outside / kEdgeHz);
        inverse.in()[b] = forward.out()[b] * static_cast<float>(gain) * scale;
    }
    inverse.execute();
    return std::vector<std::complex<float>>(inverse.out(), inverse.out() + z.size());
}

struct PairScore {
    double score = 0.0;
    double lowExcess = 0.0, highExcess = 0.0;
};

PairScore scorePair(const Spectrogram& s, std::size_t j1, std::size_t j2, const std::vector<double>& means)
{
    const float* a = s.row(j1);
    const float* b = s.row(j2);
    // Eight independent sums, which vectorise without reordering any one of them.
    constexpr std::size_t kLanes = 8;
    float lanes[kLanes] = {};
    std::size_t t = 0;
    for (; t + kLanes <= s.windows; t += kLanes)
        for (std::size_t l = 0; l < kLanes; ++l)
            lanes[l] += std::fabs(a[t + l] - b[t + l]);
    double sum = 0.0;
    for (; t < s.windows; ++t)
        sum += double(std::fabs(a[t] - b[t]));
    for (float v : lanes)
        sum += double(v);
    const double meanAbs = sum / double(s.windows);
    const double difference = means[j1] - means[j2];
    PairScore p;
    p.lowExcess = std::max(0.0, 0.5 * (meanAbs + difference));
    p.highExcess = std::max(0.0, 0.5 * (meanAbs - difference));
    p.score = std::sqrt(p.lowExcess * p.highExcess);
    return p;
}

// Offset of a maximum from the middle of three values, by a parabola, within half a step.
double parabola(double left, double middle, double right)
{
    const double d = left - 2.0 * middle + right;
    return d < 0.0 ? std::clamp(0.5 * (left - right) / d, -0.5, 0.5) : 0.0;
}

// The signal turned by each tone and summed over the last bit, at every sample from the first
// whole bit on: the tones' one-bit correlations.
struct BitCorrelations {
    std::vector<std::complex<double>> low, high;
};

BitCorrelations correlate(const std::vector<std::complex<float>>& z, double rate, std::size_t bit, double lowHz,
                          double highHz)
{
    BitCorrelations c;
    if (z.size() <= bit)
        return c;
    const double wLow = -2.0 * kPi * lowHz / rate, wHigh = -2.0 * kPi * highHz / rate;
    std::vector<std::complex<double>> low(z.size()), high(z.size());
    std::complex<double> rotLow, rotHigh;
    const std::complex<double> stepLow = std::polar(1.0, wLow), stepHigh = std::polar(1.0, wHigh);
    for (std::size_t n = 0; n < z.size(); ++n) {
        if (n % 1024 == 0) {
            rotLow = std::polar(1.0, std::remainder(wLow * double(n), 2.0 * kPi));
            rotHigh = std::polar(1.0, std::remainder(wHigh * double(n), 2.0 * kPi));
        }
        const std::complex<double> v(z[n]);
        low[n] = v * rotLow;
        high[n] = v * rotHigh;
        rotLow *= stepLow;
        rotHigh *= stepHigh;
    }
    std::complex<double> sumLow, sumHigh;
    for (std::size_t n = 0; n < bit; ++n) {
        sumLow += low[n];
        sumHigh += high[n];
    }
    c.low.reserve(z.size() - bit);
    c.high.reserve(z.size() - bit);
    for (std::size_t n = bit; n < z.size(); ++n) {
        sumLow += low[n] - low[n - bit];
        sumHigh += high[n] - high[n - bit];
        c.low.push_back(sumLow);
        c.high.push_back(sumHigh);
    }
    return c;
}

// The bit-rate line of the squared difference of the tones' one-bit correlations, against the
// same at reference frequencies: power summed over short pieces, each piece's mean removed (the
// idle tone alone makes a steady difference, which would leak into the references).
double keyingStrength(const BitCorrelations& c, double rate, double bitRate, std::size_t bit)
{
    const auto piece = static_cast<std::size_t>(std::max(double(4 * bit), std::round(kKeyingPieceS * rate)));
    const std::size_t n = c.low.size();
    if (n < piece)
        return 0.0;
    constexpr std::size_t kLines = 1 + sizeof kReferenceLines / sizeof kReferenceLines[0];
    std::vector<std::complex<double>> steps(kLines);
    for (std::size_t k = 0; k < kLines; ++k)
        steps[k] = std::polar(1.0, -2.0 * kPi * (k == 0 ? 1.0 : kReferenceLines[k - 1]) * bitRate / rate);
    double strength[kLines] = {};
    std::vector<double> e(piece);
    for (std::size_t from = 0; from + piece <= n; from += piece) {
        double mean = 0.0;
        for (std::size_t i = 0; i < piece; ++i) {
            const double v = std::abs(c.high[from + i]) - std::abs(c.low[from + i]);
            e[i] = v * v;
            mean += e[i];
        }
        mean /= double(piece);
        for (std::size_t k = 0; k < kLines; ++k) {
            std::complex<double> acc, rot(1.0);
            for (std::size_t i = 0; i < piece; ++i) {
                acc += (e[i] - mean) * rot;
                rot *= steps[k];
            }
            strength[k] += std::norm(acc);
        }
    }
    double reference = 0.0;
    for (std::size_t k = 1; k < kLines; ++k)
        reference += strength[k];
    reference /= double(kLines - 1);
    return reference > 0.0 ? strength[0] / reference : 0.0;
}

// Each tone's frequency error, from how its two-bit correlation turns across a bit where that
// tone clearly holds, at both ends.
void refineTones(const BitCorrelations& c, double rate, std::size_t bit, double& lowHz, double& highHz)
{
    const std::size_t lag = bit;
    std::complex<double> turnLow, turnHigh;
    for (std::size_t n = lag; n < c.low.size(); ++n) {
        const double l0 = std::norm(c.low[n - lag]), l1 = std::norm(c.low[n]);
        const double h0 = std::norm(c.high[n - lag]), h1 = std::norm(c.high[n]);
        if (l0 > 8.0 * h0 && l1 > 8.0 * h1)
            turnLow += c.low[n] * std::conj(c.low[n - lag]);
        else if (h0 > 8.0 * l0 && h1 > 8.0 * l1)
            turnHigh += c.high[n] * std::conj(c.high[n - lag]);
    }
    const double hzPerRadian = rate / (2.0 * kPi * double(lag));
    if (std::abs(turnLow) > 0.0)
        lowHz += std::arg(turnLow) * hzPerRadian;
    if (std::abs(turnHigh) > 0.0)
        highHz += std::arg(turnHigh) * hzPerRadian;
}

}  // namespace

TonePair searchTonePair(const std::vector<std::complex<float>>& samples, double rate, double spanLowHz,
                        double spanHighHz, double noiseVariance, const TonePairLimits& limits)
{
    TonePair result;
    const std::vector<std::complex<float>> z = bandLimited(samples, rate, spanLowHz, spanHighHz);
    const Spectrogram s = makeSpectrogram(z, rate, limits.bitRate, spanLowHz, spanHighHz, noiseVariance);
    if (s.rows < 3 || s.windows < 16 || !(s.floor > 0.0)) {
        result.why = "too little signal to search";
        return result;
    }
    std::vector<double> means(s.rows, 0.0);
    for (std::size_t j = 0; j < s.rows; ++j) {
        const float* r = s.row(j);
        double sum = 0.0;
        for (std::size_t t = 0; t < s.windows; ++t)
            sum += double(r[t]);
        means[j] = sum / double(s.windows);
    }
    // The frequencies worth pairing: those that carry signal, the strongest if there are many.
    std::vector<std::size_t> candidates;
    for (std::size_t j = 0; j < s.rows; ++j)
        if (means[j] > kSignalBin * s.floor && !steady(s, j))
            candidates.push_back(j);
    if (candidates.size() > kMaxSignalBins) {
        std::sort(candidates.begin(), candidates.end(), [&](std::size_t a, std::size_t b) { return means[a] > means[b]; });
        candidates.resize(kMaxSignalBins);
        std::sort(candidates.begin(), candidates.end());
    }
    const double minBins = 2.0 * limits.minDeviationHz / s.binHz;
    const double maxBins = 2.0 * limits.maxDeviationHz / s.binHz;
    std::size_t best1 = 0, best2 = 0;
    double bestScore = 0.0;
    for (std::size_t a = 0; a < candidates.size(); ++a)
        for (std::size_t b = a + 1; b < candidates.size(); ++b) {
            const double apart = double(candidates[b] - candidates[a]);
            if (apart < minBins || apart > maxBins)
                continue;
            const PairScore p = scorePair(s, candidates[a], candidates[b], means);
            if (p.score > bestScore) {
                bestScore = p.score;
                best1 = candidates[a];
                best2 = candidates[b];
            }
        }
    if (!(bestScore > 0.0)) {
        result.why = "no pair of frequencies carries signal";
        return result;
    }
    result.found = true;

    // Between frequencies: each tone moved alone, the other held.
    auto scoreAt = [&](long j1, long j2) {
        if (j1 < 0 || j2 < 0 || j1 >= long(s.rows) || j2 >= long(s.rows) || j1 >= j2)
            return 0.0;
        return scorePair(s, std::size_t(j1), std::size_t(j2), means).score;
    };
    const auto j1 = static_cast<long>(best1), j2 = static_cast<long>(best2);
    const double d1 = parabola(scoreAt(j1 - 1, j2), bestScore, scoreAt(j1 + 1, j2));
    const double d2 = parabola(scoreAt(j1, j2 - 1), bestScore, scoreAt(j1, j2 + 1));
    double lowHz = (double(s.firstBin + j1) + d1) * s.binHz;
    double highHz = (double(s.firstBin + j2) + d2) * s.binHz;
    const auto bit = static_cast<std::size_t>(std::max(1.0, std::round(rate / limits.bitRate)));
        for (int pass = 0; pass < 2; ++pass)
        refineTones(correlate(z, rate, 2 * bit, lowHz, highHz), rate, bit, lowHz, highHz);
    const BitCorrelations c = correlate(z, rate, bit, lowHz, highHz);
    result.centreHz = 0.5 * (lowHz + highHz);
    result.deviationHz = 0.5 * (highHz - lowHz);

    // The tests.
    const float* a = s.row(best1);
    const float* b = s.row(best2);
    const auto floor = static_cast<float>(s.floor);
    std::vector<float> lowWins, highWins, stronger(s.windows);
    for (std::size_t t = 0; t < s.windows; ++t) {
        stronger[t] = std::max(a[t], b[t]);
        if (a[t] > kClearly * b[t] && a[t] > kClearly * floor)
            lowWins.push_back(a[t]);
        else if (b[t] > kClearly * a[t] && b[t] > kClearly * floor)
            highWins.push_back(b[t]);
    }
    const float top = quantileF(stronger, 0.9);
    std::size_t both = 0;
    for (std::size_t t = 0; t < s.windows; ++t)
        if (a[t] > kBothStrong * top && b[t] > kBothStrong * top)
            ++both;
    result.lowShare = double(lowWins.size()) / double(s.windows);
    result.highShare = double(highWins.size()) / double(s.windows);
    result.bothShare = double(both) / double(s.windows);
    const float lowLevel = quantileF(lowWins, 0.5), highLevel = quantileF(highWins, 0.5);
    result.levelDb = 10.0 * std::log10(std::max(1e-30, double(std::max(lowLevel, highLevel)) / s.floor));
    if (result.lowShare < kMinShare || result.highShare < kMinShare) {
        result.why = "one tone never clearly wins";
        return result;
    }
    result.balanceDb = 10.0 * std::log10(double(highLevel) / double(lowLevel));
    if (result.bothShare > kMaxBothShare) {
        result.why = "both tones strong at once: two signals";
        return result;
    }
    if (std::fabs(result.balanceDb) > kMaxImbalanceDb) {
        result.why = "the tones' levels differ";
        return result;
    }
    result.keying = keyingStrength(c, rate, limits.bitRate, bit);
    if (result.keying < kMinKeying) {
        result.why = "not keyed at the bit rate";
        return result;
    }
    result.sonde = true;
    return result;
}

}  // namespace nimbra::iq
