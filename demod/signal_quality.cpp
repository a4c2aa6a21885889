#include "demod/signal_quality.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace nimbra {

namespace {

constexpr int kSearchBits = 80;       // bits correlated to find the start, and again the end
constexpr int kMaxSearchSteps = 256;  // whole-sample trials either way, at the most
constexpr int kMinSteadyBits = 16;    // per level
constexpr double kOutlierSigmas = 4.0;
constexpr int kPasses = 3;            // one plain, two with outliers dropped
constexpr int kMinSamplesPerBit = 3;
constexpr float kUnknown = std::numeric_limits<float>::quiet_NaN();

// The block's line bits as levels: +1 for a mark (1 bit), -1 for a space (0 bit). Before the
// block lies the stop bit of its sync character, after it the idle line: both marks.
struct LineBits {
    const std::uint8_t* bytes;
    int count;

    int level(int k) const
    {
        if (k < 0 || k >= count)
            return 1;
        const int position = k % 10;
        if (position == 0)
            return -1;  // start bit
        if (position == 9)
            return 1;   // stop bit
        return (bytes[k / 10] >> (position - 1)) & 1 ? 1 : -1;
    }
};

// floor() as an integer without a library call (times here are finite and far inside the range).
std::int64_t floorToInt(double x)
{
    const auto i = static_cast<std::int64_t>(x);
    return i - (x < double(i) ? 1 : 0);
}

// Integral of the input over [a, b), sample n standing for the interval [n, n + 1).
double integrate(const SampleHistory& h, double a, double b)
{
    const std::int64_t i0 = floorToInt(a);
    const std::int64_t i1 = floorToInt(b);
    if (i0 == i1)
        return double(h.at(i0)) * (b - a);
    double sum = double(h.at(i0)) * (double(i0 + 1) - a);
    for (std::int64_t i = i0 + 1; i < i1; ++i)
        sum += double(h.at(i));
    return sum + double(h.at(i1)) * (b - double(i1));
}

double correlate(const SampleHistory& h, const LineBits& bits, double start, double bitLength,
                 int firstBit, int bitCount)
{
    double sum = 0.0;
    for (int k = firstBit; k < firstBit + bitCount; ++k) {
        const double a = start + (k - firstBit) * bitLength;
        sum += bits.level(k) * integrate(h, a, a + bitLength);
    }
    return sum;
}

struct Peak {
    double offset = 0.0;  // from the trial centre, samples
    double value = 0.0;   // correlation there (signed: its sign is the input's polarity)
};

// The times a search may read: samples from `oldest` on, times before `end` (the history's
// newest sample n stands for [n, n + 1)).
struct Span {
    double oldest;
    double end;
};

// The offset within +-range of `centre` where the known bits correlate best with the input:
// whole samples first, then half a sample either side of the best, refined by a parabola through
// the best half-sample trial and its neighbours. Offsets that would read outside `span` are not
// tried; false when none is left.
bool findPeak(const SampleHistory& h, const LineBits& bits, double centre, double bitLength,
              int firstBit, int bitCount, double range, const Span& span, Peak& best)
{
    const int steps = std::min(kMaxSearchSteps, static_cast<int>(std::ceil(range)));
    const double length = bitCount * bitLength;
    const int first = std::max(-steps, static_cast<int>(std::ceil(span.oldest - centre)));
    const int last = std::min(steps, static_cast<int>(std::floor(span.end - 1e-3 - length - centre)));
    if (first > last)
        return false;
    double coarse[2 * kMaxSearchSteps + 1];
    int bestIndex = first;
    for (int i = first; i <= last; ++i) {
        coarse[i - first] = correlate(h, bits, centre + i, bitLength, firstBit, bitCount);
        if (std::fabs(coarse[i - first]) > std::fabs(coarse[bestIndex - first]))
            bestIndex = i;
    }
    // Trials at bestIndex + j / 2 for j = -2..2: the whole ones known, the halves measured.
    double value[5];
    bool known[5];
    for (int j = -2; j <= 2; ++j) {
        const double offset = bestIndex + 0.5 * j;
        known[j + 2] = offset >= first && offset <= last;
        if (!known[j + 2])
            continue;
        value[j + 2] = j % 2 == 0 ? coarse[bestIndex + j / 2 - first]
                                  : correlate(h, bits, centre + offset, bitLength, firstBit, bitCount);
    }
    int top = 2;
    for (int j = 1; j <= 3; ++j)
        if (known[j] && std::fabs(value[j]) > std::fabs(value[top]))
            top = j;
    best.value = value[top];
    best.offset = bestIndex + 0.5 * (top - 2);
    if (known[top - 1] && known[top + 1]) {
        const double before = std::fabs(value[top - 1]);
        const double here = std::fabs(value[top]);
        const double after = std::fabs(value[top + 1]);
        const double curvature = before - 2.0 * here + after;
        if (curvature < 0.0)
            best.offset += 0.25 * (before - after) / curvature;
    }
    return true;
}

// Sums over the steady bits of one level.
struct LevelSums {
    double bits = 0.0;          // number of bits
    double sumMeans = 0.0;      // sum of the bit averages
    double weight = 0.0;        // sum of the sample counts
    double weightedMeans = 0.0; // sum of count x average
    double weightedSquares = 0.0;  // sum of count x average^2
    double innerCount = 0.0;    // inner samples (those with a sample of the same bit on both sides)
    double innerSum = 0.0;
    double innerSquares = 0.0;

    double mean() const { return sumMeans / bits; }
    // Sum of count x (average - mean)^2.
    double spread() const
    {
        const double m = mean();
        return weightedSquares - 2.0 * m * weightedMeans + m * m * weight;
    }
    double innerSpread() const { return innerSquares - innerSum * innerSum / innerCount; }
};

}  // namespace

float estimateBlockEbN0(const SampleHistory& h, std::int64_t available, const std::uint8_t* bytes,
                        int length, const BlockTiming& timing)
{
    if (!bytes || length < 4 || length > BlockQuality::kMaxBytes || !(timing.bitLength > 1.0))
        return kUnknown;
    const LineBits bits{bytes, length * 10};
    const double nominal = timing.bitLength;
    // Everything read lies within the history and before the newest sample.
    const Span span{double(available - SampleHistory::kSize) + 1.0, double(available)};
    if (!std::isfinite(timing.dollarStart))
        return kUnknown;

    // Start, then bit length from the end of the block.
    const int searchBits = std::min(kSearchBits, bits.count / 2);
    Peak start;
    if (!findPeak(h, bits, timing.dollarStart, nominal, 0, searchBits, timing.startTolerance, span, start))
        return kUnknown;
    const double t0 = timing.dollarStart + start.offset;
    double bitLength = nominal;
    const int endFirst = bits.count - searchBits;
    if (endFirst >= 2 * searchBits) {
        const double drift = endFirst * nominal * timing.rateTolerance + 1.0;
        Peak end;
        if (!findPeak(h, bits, t0 + endFirst * nominal, nominal, endFirst, searchBits, drift, span, end))
            return kUnknown;
        bitLength = nominal + end.offset / endFirst;
    }
    // The first and last bits are not measured (their outer neighbours are not the block's).
    if (!(t0 + bitLength - 1.0 > span.oldest && t0 + (bits.count - 1) * bitLength < span.end))
        return kUnknown;

    // Steady bits, averaged over their samples, in passes that drop the outliers of the last.
    LevelSums sums[2];
    double variance = 0.0;  // per sample
    for (int pass = 0; pass < kPasses; ++pass) {
        const LevelSums previous[2] = {sums[0], sums[1]};
        sums[0] = sums[1] = LevelSums();
        for (int k = 1; k + 1 < bits.count; ++k) {
            const int level = bits.level(k);
            if (bits.level(k - 1) != level || bits.level(k + 1) != level)
                continue;
            const double a = t0 + k * bitLength;
            // Samples whose centre lies in the bit: ceil(t - 0.5) = floor(t + 0.5) but at halves.
            const std::int64_t n0 = -floorToInt(0.5 - a);
            const std::int64_t n1 = -floorToInt(0.5 - a - bitLength);
            const auto count = static_cast<int>(n1 - n0);
            if (count < kMinSamplesPerBit)
                continue;
            double sum = 0.0;
            for (std::int64_t n = n0; n < n1; ++n)
                sum += double(h.at(n));
            const double average = sum / count;
            LevelSums& s = sums[level > 0 ? 1 : 0];
            if (pass > 0) {
                const double deviation = average - previous[level > 0 ? 1 : 0].mean();
                if (deviation * deviation * count > kOutlierSigmas * kOutlierSigmas * variance)
                    continue;
            }
            s.bits += 1.0;
            s.sumMeans += average;
            s.weight += count;
            s.weightedMeans += count * average;
            s.weightedSquares += count * average * average;
            for (std::int64_t n = n0 + 1; n + 1 < n1; ++n) {
                const double v = double(h.at(n));
                s.innerCount += 1.0;
                s.innerSum += v;
                s.innerSquares += v * v;
            }
        }
        if (sums[0].bits < kMinSteadyBits || sums[1].bits < kMinSteadyBits)
            return kUnknown;
        variance = (sums[0].spread() + sums[1].spread()) / (sums[0].bits + sums[1].bits - 2.0);
        if (!(variance > 0.0))
            return kUnknown;
    }

    const double amplitude = 0.5 * std::fabs(sums[1].mean() - sums[0].mean());
    const double raw = 10.0 * std::log10(bitLength * amplitude * amplitude / (2.0 * variance));
    const double inner = (sums[0].innerSpread() + sums[1].innerSpread()) /
                         (sums[0].innerCount + sums[1].innerCount - 2.0);
    const double ratio = inner / variance;
    const double tilt = std::clamp((ratio - 1.0) / (BlockQuality::kDiscriminatorRatio - 1.0), 0.0, 1.0);
    const double estimate = raw - BlockQuality::kDiscriminatorGainDb * tilt;
    if (!std::isfinite(estimate))
        return kUnknown;
    return static_cast<float>(std::clamp(estimate, -20.0, 80.0));
}

}  // namespace nimbra
