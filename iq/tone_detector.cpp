#include "iq/tone_detector.h"

#include <algorithm>
#include <cmath>

namespace nimbra::iq {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kPeriodRate = 48000.0;
constexpr int kSymbolsClose = 5;     // bits per multiple-symbol decision
constexpr int kHistoryPeriods = 1536;  // more than the bit reader keeps (1,024 periods)
constexpr int kWindowRing = 16;        // windows kept, by period (a bit ago is 5 back)
// A window counts for a tone's loop when that tone's power is this many times the other's.
constexpr float kDominance = 6.0f;
// Loop gains per measurement (a measurement per period where a tone dominates two windows).
constexpr double kCentreGain = 0.002;
constexpr double kDriftGain = 6e-7;      // Hz per period, per Hz of error
constexpr double kDeviationGain = 0.0005;
// The loops stay within these bounds of the search's estimate: noise alone must not walk them off.
constexpr double kMaxCentreWander = 5000.0;
constexpr double kMinDeviationShare = 0.5, kMaxDeviationShare = 1.6;
constexpr double kMaxDriftHzPerS = 2000.0;
constexpr int kTonePeriod = 8;  // periods between recomputations of the oscillator steps
// The multiple-symbol value divided by this is about a window value's size for the same bit.
constexpr double kMultiSymbolScale = 1.0;

std::complex<float> unit(double radians)
{
    return {static_cast<float>(std::cos(radians)), static_cast<float>(std::sin(radians))};
}

std::size_t ringSizeFor(int m)
{
    std::size_t n = 1;
    while (n < static_cast<std::size_t>(kHistoryPeriods + 64) * static_cast<std::size_t>(m))
        n *= 2;
    return n;
}

}  // namespace

ToneDetector::ToneDetector(int rateMultiple, double centreHz, double deviationHz)
    : m_(std::max(1, rateMultiple)),
      symbols_(deviationHz > kWideDeviationHz ? 1 : kSymbolsClose),
      rate_(kPeriodRate * m_),
      ring_(ringSizeFor(m_)),
      mask_(ring_.size() - 1),
      historyPeriods_(kHistoryPeriods),
      centreHz_(centreHz),
      deviationHz_(deviationHz),
      startCentreHz_(centreHz),
      startDeviationHz_(deviationHz),
      // Below about 0.6 bit rates the tones of one bit length overlap too much to tell apart.
      windowBits_(2.0 * deviationHz < 0.6 * kPeriodRate / kPeriodsPerBit ? 2 : 1),
      windows_(kWindowRing)
{
    updateTones();
}

double ToneDetector::driftHzPerSecond() const { return driftHzPerPeriod_ * kPeriodRate; }

void ToneDetector::updateTones()
{
    const double wm = 2.0 * kPi * markHz() / rate_;
    const double ws = 2.0 * kPi * spaceHz() / rate_;
    const double lag = double(kPeriodsPerBit * m_);
    stepMark_ = unit(-wm);
    stepSpace_ = unit(-ws);
    lagMark_ = unit(-wm * lag);
    lagSpace_ = unit(-ws * lag);
}

void ToneDetector::push(const std::complex<float>* samples)
{
    const std::int64_t base = periods_ * m_;
    for (int k = 0; k < m_; ++k)
        ring_[static_cast<std::size_t>(base + k) & mask_] = samples[k];
    ++periods_;

    // The windows ending with this period: the frequency loops' (windowBits_ bits) and, within
    // it, the last bit for the search value. Magnitudes do not depend on the phase reference.
    const int bit = kPeriodsPerBit * m_;
    const int length = windowBits_ * bit;
    const std::int64_t end = periods_ * m_;
    std::complex<float> pm(1.0f, 0.0f), ps(1.0f, 0.0f);
    std::complex<float> wm, ws, lastM, lastS;
    if (periods_ * m_ >= length) {
        for (int i = 0; i < length; ++i) {
            const std::complex<float> z = at(end - length + i);
            const std::complex<float> a = z * pm, b = z * ps;
            wm += a;
            ws += b;
            if (i >= length - bit) {
                lastM += a;
                lastS += b;
            }
            pm *= stepMark_;
            ps *= stepSpace_;
        }
    }
    searchValue_ = (std::abs(lastS) - std::abs(lastM)) / float(m_);

    Window& now = windows_[static_cast<std::size_t>(periods_ % kWindowRing)];
    now = {wm, ws, std::norm(wm), std::norm(ws)};
    if (periods_ > kPeriodsPerBit * windowBits_ + kPeriodsPerBit)
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
    const double hzPerRadian = rate_ / (2.0 * kPi * kPeriodsPerBit * m_);
    auto measure = [&](std::complex<float> a, std::complex<float> b, std::complex<float> lag) {
        const std::complex<float> p = a * std::conj(b) * lag;
        return double(std::atan2(p.imag(), p.real())) * hzPerRadian;
    };
    double error = 0.0;
    int sign = 0;
    if (now.markNorm > kDominance * now.spaceNorm && bitAgo.markNorm > kDominance * bitAgo.spaceNorm) {
        error = measure(now.mark, bitAgo.mark, lagMark_);
        sign = -1;
    } else if (now.spaceNorm > kDominance * now.markNorm && bitAgo.spaceNorm > kDominance * bitAgo.markNorm) {
        error = measure(now.space, bitAgo.space, lagSpace_);
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

void ToneDetector::retuned(double hz, std::int64_t fromPeriod)
{
    centreHz_ -= hz;
    updateTones();
    // Samples before the change, as if the oscillator had already been at its new frequency
    // (continuous in phase at the change).
    const std::int64_t first = std::max<std::int64_t>(0, (periods_ - historyPeriods_ - lookahead()) * m_);
    const std::int64_t change = std::clamp<std::int64_t>(fromPeriod * m_, first, periods_ * m_);
    const double w = -2.0 * kPi * hz / rate_;
    for (std::int64_t i = first; i < change; ++i)
        ring_[static_cast<std::size_t>(i) & mask_] *= unit(w * double(i - change));
    // The loops' windows straddle the change: start them afresh.
    for (Window& w2 : windows_)
        w2 = {};
}

// Correlations of [a, a + positions x T) with each tone, position by position, each referred to
// its own start: for position j, sum over its samples of z e^{-j w (t - start_j)}, t the sample's
// centre, samples cut by a boundary weighted by the share inside.
void ToneDetector::correlate(double a, double b, int positions, std::complex<float>* mark,
                             std::complex<float>* space) const
{
    const double t = (b - a) / positions * m_;  // samples per position
    const double start = a * m_;
    const double wm = 2.0 * kPi * markHz() / rate_;
    const double ws = 2.0 * kPi * spaceHz() / rate_;
    const std::int64_t oldest = (periods_ - historyPeriods_ - lookahead()) * m_;
    const std::int64_t newest = periods_ * m_;
    auto i0 = static_cast<std::int64_t>(std::floor(start));
    // Phasors of sample i against the first position's start.
    std::complex<float> pm = unit(-wm * (double(i0) + 0.5 - start));
    std::complex<float> ps = unit(-ws * (double(i0) + 0.5 - start));
    const std::complex<float> sm = stepMark_, ss = stepSpace_;
    std::int64_t i = i0;
    std::complex<float> turnM(1.0f, 0.0f), turnS(1.0f, 0.0f);  // e^{+j w j T}
    const std::complex<float> positionM = unit(wm * t), positionS = unit(ws * t);
    for (int j = 0; j < positions; ++j) {
        const double from = start + j * t;
        const double to = from + t;
        // The boundary sample shared with the previous position is visited again.
        const auto first = static_cast<std::int64_t>(std::floor(from));
        if (first < i) {
            pm *= std::conj(sm);
            ps *= std::conj(ss);
            i = first;
        }
        std::complex<float> accM, accS;
        for (; double(i) < to; ++i) {
            const double weight = std::min(double(i + 1), to) - std::max(double(i), from);
            if (weight > 0.0 && i >= oldest && i < newest) {
                const std::complex<float> z = at(i) * static_cast<float>(weight);
                accM += z * pm;
                accS += z * ps;
            }
            pm *= sm;
            ps *= ss;
        }
        mark[j] = accM * turnM;
        space[j] = accS * turnS;
        turnM *= positionM;
        turnS *= positionS;
    }
}

double ToneDetector::windowValue(double a, double b) const
{
    std::complex<float> mark, space;
    correlate(a, b, 1, &mark, &space);
    return double(std::abs(space) - std::abs(mark)) / m_;
}

double ToneDetector::bitValue(double a, double b) const
{
    if (symbols_ == 1)
        return windowValue(a, b);
    constexpr int n = kSymbolsClose;
    const double t = b - a;
    std::complex<float> mark[n], space[n];
    correlate(a - (n / 2) * t, b + (n / 2) * t, n, mark, space);
    // Every sequence of n bits, built bit by bit: its correlation so far and its phase factor,
    // e^{-j theta}, theta the phase its tones have advanced by since the first position.
    const double samples = t * m_;
    const std::complex<float> advanceM = unit(-2.0 * kPi * markHz() / rate_ * samples);
    const std::complex<float> advanceS = unit(-2.0 * kPi * spaceHz() / rate_ * samples);
    std::complex<float> sum[1 << n], factor[1 << n];
    sum[0] = {};
    factor[0] = {1.0f, 0.0f};
    int count = 1;
    for (int j = 0; j < n; ++j) {
        // Sequence k's bit j is bit j of k (1: space); new sequences are written from the back
        // so that each reads its prefix before it is overwritten.
        for (int k = count - 1; k >= 0; --k) {
            const std::complex<float> s = sum[k], f = factor[k];
            sum[k | count] = s + space[j] * f;
            factor[k | count] = f * advanceS;
            sum[k] = s + mark[j] * f;
            factor[k] = f * advanceM;
        }
        count *= 2;
    }
    float bestSpace = 0.0f, bestMark = 0.0f;
    for (int k = 0; k < count; ++k) {
        const float v = std::abs(sum[k]);
        float& best = (k >> (n / 2)) & 1 ? bestSpace : bestMark;
        best = std::max(best, v);
    }
    return double(bestSpace - bestMark) / (m_ * kMultiSymbolScale);
}

}  // namespace nimbra::iq
