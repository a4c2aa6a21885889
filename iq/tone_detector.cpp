#include "iq/tone_detector.h"

#include <algorithm>
#include <cmath>

namespace nimbra::iq {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kPeriodRate = 48000.0;
constexpr int kSymbolsClose = 5;  // bits per multiple-symbol decision
// A window counts for a tone's loop when that tone's power is this many times the other's.
constexpr float kDominance = 6.0f;
// Loop gains per measurement (a measurement per period where a tone dominates two windows).
constexpr double kCentreGain = 0.002;
constexpr double kDriftGain = 6e-7;  // Hz per period, per Hz of error
constexpr double kDeviationGain = 0.0005;
// The loops stay within these bounds: noise alone must not walk them off. The centre is kept
// near 0 by the front end's oscillator, the deviation near the search's estimate.
constexpr double kMaxCentreWander = 5000.0;
constexpr double kMinDeviationShare = 0.5, kMaxDeviationShare = 1.6;
constexpr double kMaxDriftHzPerS = 2000.0;
constexpr int kTonePeriod = 8;       // periods between updates of the tones' steps
constexpr int kRotorResync = 256;    // samples between exact restarts of the phase recurrence

std::complex<float> unit(double radians)
{
    const auto r = static_cast<float>(radians);
    return {std::cos(r), std::sin(r)};
}

// Into [-pi, pi) by one turn at most (a phase that has just been advanced by less than a turn).
double wrap(double x)
{
    if (x >= kPi)
        return x - 2.0 * kPi;
    if (x < -kPi)
        return x + 2.0 * kPi;
    return x;
}

// Complex products written out: std::complex's operator* guards against infinities and NaNs
// (which these finite values never are) at a cost that shows in the per-sample loops.
inline std::complex<float> mul(std::complex<float> a, std::complex<float> b)
{
    return {a.real() * b.real() - a.imag() * b.imag(), a.real() * b.imag() + a.imag() * b.real()};
}

inline float magnitude(std::complex<float> z) { return std::sqrt(z.real() * z.real() + z.imag() * z.imag()); }

std::size_t ringSizeFor(int periods, int m)
{
    std::size_t n = 1;
    while (n < static_cast<std::size_t>(periods + 64) * static_cast<std::size_t>(m))
        n *= 2;
    return n;
}

}  // namespace

ToneDetector::ToneDetector(int rateMultiple, double centreHz, double deviationHz)
    : m_(std::max(1, rateMultiple)),
      symbols_(deviationHz > kWideDeviationHz ? 1 : kSymbolsClose),
      rate_(kPeriodRate * m_),
      mask_(ringSizeFor(kHistoryPeriods, m_) - 1),
      centreHz_(centreHz),
      deviationHz_(deviationHz),
      startCentreHz_(centreHz),
      startDeviationHz_(deviationHz),
      // Below about 0.6 bit rates the tones of one bit length overlap too much to tell apart.
      windowBits_(2.0 * deviationHz < 0.6 * kPeriodRate / kPeriodsPerBit ? 2 : 1),
      windows_(kWindowRing)
{
    for (Tone& t : tones_) {
        t.prefix.assign(mask_ + 1, {});
        t.phase.assign(mask_ + 1, 0.0f);
    }
    updateTones();
}

double ToneDetector::driftHzPerSecond() const { return driftHzPerPeriod_ * kPeriodRate; }

void ToneDetector::updateTones()
{
    const double hz[2] = {markHz(), spaceHz()};
    for (int k = 0; k < 2; ++k) {
        tones_[k].omega = 2.0 * kPi * hz[k] / rate_;
        tones_[k].step = unit(-tones_[k].omega);
    }
}

void ToneDetector::push(const std::complex<float>* samples)
{
    for (int k = 0; k < m_; ++k, ++samples_) {
        if (samples_ == shiftAt_) {
            centreHz_ -= shiftHz_;
            shiftAt_ = -1;
            updateTones();
        }
        const std::size_t slot = static_cast<std::size_t>(samples_) & mask_;
        const bool resync = samples_ % kRotorResync == 0;
        for (Tone& t : tones_) {
            if (resync)
                t.rotor = unit(-t.theta);
            const std::complex<float> u = mul(samples[k], t.rotor);
            t.sum += std::complex<double>(static_cast<double>(u.real()), static_cast<double>(u.imag()));
            t.prefix[slot] = t.sum;
            t.phase[slot] = static_cast<float>(t.theta);
            t.theta = wrap(t.theta + t.omega);
            t.rotor = mul(t.rotor, t.step);
        }
    }
    ++periods_;

    // The windows ending with this period: the frequency loops' (windowBits_ bits) and the last
    // bit for the search value.
    const std::int64_t bit = kPeriodsPerBit * m_;
    const std::int64_t length = windowBits_ * bit;
    const std::int64_t last = samples_ - 1;
    Window& now = windows_[static_cast<std::size_t>(periods_ % kWindowRing)];
    now = {};
    searchValue_ = 0.0f;
    if (last - length < 0)
        return;
    auto window = [&](const Tone& t, std::int64_t n) {
        const std::complex<double> d = prefixAt(t, last) - prefixAt(t, last - n);
        return std::complex<float>(static_cast<float>(d.real()), static_cast<float>(d.imag()));
    };
    const std::complex<float> wm = window(tones_[0], length), ws = window(tones_[1], length);
    now = {wm, ws, std::norm(wm), std::norm(ws)};
    searchValue_ = windowBits_ == 1 ? (magnitude(ws) - magnitude(wm)) / float(m_)
                                    : (magnitude(window(tones_[1], bit)) - magnitude(window(tones_[0], bit))) / float(m_);
    if (periods_ > (windowBits_ + 1) * kPeriodsPerBit + 1)
        runLoops(now, windows_[static_cast<std::size_t>((periods_ - kPeriodsPerBit) % kWindowRing)]);

    centreHz_ += driftHzPerPeriod_;
    centreHz_ = std::clamp(centreHz_, startCentreHz_ - kMaxCentreWander, startCentreHz_ + kMaxCentreWander);
    if (++periodsSinceUpdate_ >= kTonePeriod) {
        periodsSinceUpdate_ = 0;
        updateTones();
    }
}

void ToneDetector::runLoops(const Window& now, const Window& bitAgo)
{
    // Each tone's stream turns at the tone's frequency error: over a bit (5 M samples) by that
    // error times the bit's length.
    const double hzPerRadian = kPeriodRate / (2.0 * kPi * kPeriodsPerBit);
    auto measure = [&](std::complex<float> a, std::complex<float> b) {
        const std::complex<float> p = mul(a, std::conj(b));
        return double(std::atan2(p.imag(), p.real())) * hzPerRadian;
    };
    double error = 0.0;
    int sign = 0;
    if (now.markNorm > kDominance * now.spaceNorm && bitAgo.markNorm > kDominance * bitAgo.spaceNorm) {
        error = measure(now.mark, bitAgo.mark);
        sign = -1;
    } else if (now.spaceNorm > kDominance * now.markNorm && bitAgo.spaceNorm > kDominance * bitAgo.markNorm) {
        error = measure(now.space, bitAgo.space);
        sign = 1;
    }
    if (sign == 0)
        return;
    centreHz_ += kCentreGain * error;
    deviationHz_ += sign * kDeviationGain * error;
    driftHzPerPeriod_ += kDriftGain * error;
    const double maxDrift = kMaxDriftHzPerS / kPeriodRate;
    driftHzPerPeriod_ = std::clamp(driftHzPerPeriod_, -maxDrift, maxDrift);
    deviationHz_ = std::clamp(deviationHz_, kMinDeviationShare * startDeviationHz_,
                              kMaxDeviationShare * startDeviationHz_);
}

void ToneDetector::retuned(double hz, std::int64_t atSample)
{
    if (atSample <= samples_) {
        centreHz_ -= hz;
        updateTones();
        return;
    }
    shiftHz_ = hz;
    shiftAt_ = atSample;
}

std::complex<double> ToneDetector::prefixAt(const Tone& t, std::int64_t i) const
{
    return i < 0 ? std::complex<double>() : t.prefix[static_cast<std::size_t>(i) & mask_];
}

// Sum of u over the samples that overlap [from, to), each weighted by its share inside; sample i
// stands for [i, i + 1). Samples outside the history count as 0.
std::complex<float> ToneDetector::rangeSum(const Tone& t, double from, double to) const
{
    const std::int64_t oldest = std::max<std::int64_t>(0, samples_ - (kHistoryPeriods + lookahead()) * m_);
    from = std::max(from, double(oldest));
    to = std::min(to, double(samples_));
    if (!(to > from))
        return {};
    const auto first = static_cast<std::int64_t>(std::floor(from));
    const auto last = static_cast<std::int64_t>(std::ceil(to)) - 1;
    const std::complex<double> before = prefixAt(t, first - 1);
    const std::complex<double> atFirst = prefixAt(t, first);
    const std::complex<double> atLast = prefixAt(t, last);
    const std::complex<double> uFirst = atFirst - before;
    const std::complex<double> uLast = atLast - prefixAt(t, last - 1);
    const std::complex<double> s = atLast - before - (from - double(first)) * uFirst -
                                   (double(last + 1) - to) * uLast;
    return {static_cast<float>(s.real()), static_cast<float>(s.imag())};
}

// The correlation of [from, to) with each tone, referred to its start: the sum over its samples
// of z e^{-j (theta(t) - theta(from))}.
void ToneDetector::position(double from, double to, std::complex<float>& mark,
                            std::complex<float>& space) const
{
    const double start = from * m_;
    const double floorStart = std::floor(start);
    const std::size_t slot = static_cast<std::size_t>(std::max(0.0, floorStart)) & mask_;
    std::complex<float>* out[2] = {&mark, &space};
    for (int k = 0; k < 2; ++k) {
        const Tone& tone = tones_[k];
        // theta at the start, from the phase of the sample it falls in (a sample's phase is that
        // of its centre).
        const double theta = double(tone.phase[slot]) + tone.omega * (start - floorStart - 0.5);
        *out[k] = mul(rangeSum(tone, start, to * m_), unit(theta));
    }
}

double ToneDetector::windowValue(double a, double b) const
{
    const std::complex<float> mark = rangeSum(tones_[0], a * m_, b * m_);
    const std::complex<float> space = rangeSum(tones_[1], a * m_, b * m_);
    return double(magnitude(space) - magnitude(mark)) / m_;
}

double ToneDetector::bitValue(double a, double b) const
{
    if (symbols_ == 1)
        return windowValue(a, b);
    constexpr int n = kSymbolsClose;
    const double t = b - a;
    // The grid of this bit and its neighbours: the cached one if the bit lies on it.
    GridCache& g = grid_;
    const double first = a - (n / 2) * t;
    const double index = (first - g.origin) / t;
    const double m0 = std::round(index);
    // (Bit lengths computed as b - a differ in the last digits from bit to bit.)
    if (std::fabs(t - g.length) > 1e-9 * t || std::fabs(index - m0) > 1e-6 || m0 < 0.0 ||
        m0 + n > GridCache::kSize ||
        g.samples != samples_ || g.omega[0] != tones_[0].omega || g.omega[1] != tones_[1].omega) {
        g.origin = first;
        g.length = t;
        g.samples = samples_;
        for (int k = 0; k < 2; ++k) {
            g.omega[k] = tones_[k].omega;
            g.advance[k] = unit(-tones_[k].omega * t * m_);
        }
        std::fill(std::begin(g.have), std::end(g.have), false);
    }
    const int base = static_cast<int>(std::lround((first - g.origin) / g.length));
    std::complex<float> mark[n], space[n];
    for (int j = 0; j < n; ++j) {
        const int m = base + j;
        if (!g.have[m]) {
            const double from = g.origin + m * g.length;
            position(from, from + g.length, g.mark[m], g.space[m]);
            g.have[m] = true;
        }
        mark[j] = g.mark[m];
        space[j] = g.space[m];
    }
    // Every sequence of n bits, built bit by bit: its correlation is the sum over positions of
    // the position's correlation with the sequence's tone there, times e^{-j theta}, theta the
    // phase the sequence's earlier bits advanced by. That factor depends only on how many of the
    // earlier bits were spaces, so the terms are made once per position and count, and the
    // sequences are sums of them.
    const std::complex<float> advanceM = g.advance[0];
    const std::complex<float> advanceS = g.advance[1];
    // term[b][j][c]: position j's correlation with tone b times the factor of c earlier spaces
    // (and j - c marks), as separate real and imaginary parts.
    float termRe[2][n][n], termIm[2][n][n];
    const std::complex<float> swap = mul(advanceS, std::conj(advanceM));  // a mark becomes a space
    std::complex<float> marksOnly(1.0f, 0.0f);
    for (int j = 0; j < n; ++j) {
        std::complex<float> f = marksOnly;  // j earlier bits, none of them a space
        for (int c = 0; c <= j; ++c) {
            const std::complex<float> tm = mul(mark[j], f), ts = mul(space[j], f);
            termRe[0][j][c] = tm.real();
            termIm[0][j][c] = tm.imag();
            termRe[1][j][c] = ts.real();
            termIm[1][j][c] = ts.imag();
            f = mul(f, swap);
        }
        marksOnly = mul(marksOnly, advanceM);
    }
    // The sequences of the first n - 1 bits, built bit by bit (sequence k's bit j is bit j of k,
    // 1 a space); the last bit is added as the magnitudes are taken.
    constexpr int half = 1 << (n - 1);
    float re[half], im[half];
    int spaces[half];
    re[0] = im[0] = 0.0f;
    spaces[0] = 0;
    int count = 1;
    for (int j = 0; j < n - 1; ++j) {
        for (int k = 0; k < count; ++k) {
            const int c = spaces[k];
            re[k + count] = re[k] + termRe[1][j][c];
            im[k + count] = im[k] + termIm[1][j][c];
            spaces[k + count] = c + 1;
            re[k] += termRe[0][j][c];
            im[k] += termIm[0][j][c];
        }
        count *= 2;
    }
    float best[2] = {0.0f, 0.0f};  // squared magnitudes, by the middle bit
    for (int k = 0; k < half; ++k) {
        const int c = spaces[k];
        for (int b = 0; b < 2; ++b) {
            const float x = re[k] + termRe[b][n - 1][c], y = im[k] + termIm[b][n - 1][c];
            float& top = best[(k >> (n / 2)) & 1];
            top = std::max(top, x * x + y * y);
        }
    }
    const float bestMark = best[0], bestSpace = best[1];
    return double(std::sqrt(bestSpace) - std::sqrt(bestMark)) / m_;
}

}  // namespace nimbra::iq
