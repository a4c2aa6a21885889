// ToneDetector: soft values of the bits of the sonde's two-tone (FSK) signal, on the complex
// channel the front end delivers, and the frequency loops that keep the tones' frequencies.
//
// In:  complex samples at 48,000 x M samples/s, M at a time (one 48 kHz period), the channel
//      roughly centred; the tones' frequencies from the search (rough: within about 1.5 kHz).
// Out: for any interval [a, b) of 48 kHz periods that the stream has passed, a soft value of the
//      bit sent over it: positive for the upper tone (the space, the high level of discriminator
//      audio), negative for the lower (the mark), in units of amplitude x periods, so that a
//      clean bit is worth about its length times the signal's amplitude, as a bit of audio is
//      worth its length times its level. Also a value per period for the search (the last bit
//      length before it).
//
// Two detectors, chosen by the tones' distance:
//   - Tones far apart (deviation above 8 kHz): non-coherent detection matched to each tone, the
//     magnitude of the signal correlated with each tone over the bit. Timing errors cost little.
//   - Tones close together: the signal is continuous-phase FSK whose phase carries the bits of
//     the neighbours too. The bit is decided on five bit lengths centred on it: for each of the
//     32 sequences of five bits the correlation with the continuous-phase signal they make, the
//     bit's value the best magnitude with a space in the middle minus the best with a mark
//     (multiple-symbol non-coherent detection). Over five bits the signal's phase is a far better
//     reference than over one: at h = 0.75 this needs about 3.5 dB less Eb/N0 than one bit alone,
//     below the antipodal matched-filter limit. Far-apart tones would gain too in theory, but their
//     phase across a transition depends on the bit timing too steeply to be relied upon.
//
// Frequency loops: in every period the signal is correlated with each tone over the last bit
// length (two for tones closer than 0.6 bit rates, so that they separate); where one tone clearly
// dominates two windows a bit apart, the phase advance between them measures that tone's
// frequency error. A second-order loop on the centre (drift followed without lag) and a slow one
// on the deviation turn these errors into the tones' frequencies. No decisions are needed, so the
// loops run between blocks (the idle mark tone) as well as in them.
//
// Each tone keeps the stream turned by the tone's own phase (which follows the loops sample by
// sample) as running sums: a correlation over any interval is then the difference of two sums
// (the ends weighted by the share of their sample inside) and one phase for its reference. This is
// what lets the per-bit values cost a few hundred operations at any sample rate.
#pragma once

#include <complex>
#include <cstdint>
#include <vector>

namespace nimbra::iq {

class ToneDetector {
public:
    static constexpr int kPeriodsPerBit = 5;  // nominal bit length in 48 kHz periods
    static constexpr int kWideDeviationHz = 8000;

    ToneDetector(int rateMultiple, double centreHz, double deviationHz);

    // Takes the `rateMultiple` samples of one 48 kHz period.
    void push(const std::complex<float>* samples);
    // Periods pushed so far; period n holds samples n x M .. n x M + M - 1.
    std::int64_t periods() const { return periods_; }
    // Periods of history kept: intervals must start no earlier than periods() - history().
    std::int64_t history() const { return kHistoryPeriods; }
    // Periods the detector needs beyond an interval's end (the neighbouring bits it looks at).
    std::int64_t lookahead() const { return 2 * kPeriodsPerBit + 2; }

    // Soft value of the bit over [a, b), in periods.
    double bitValue(double a, double b) const;
    // The value of one window alone (no neighbours): also for intervals that straddle an edge.
    double windowValue(double a, double b) const;
    // Search value of the period just pushed: the window value of the last bit length.
    float searchValue() const { return searchValue_; }

    // The front end moved its oscillator by `hz`; the change reaches the stream at sample
    // `atSample` (counted like periods() x M), from where the tones sit `hz` lower. The
    // multiple-symbol values take the tones as steady over their five bits: steps of 100 Hz (the
    // front end's) cost a few hundredths of a radian there.
    void retuned(double hz, std::int64_t atSample);
    bool retunePending() const { return shiftAt_ >= 0; }

    double markHz() const { return centreHz_ - deviationHz_; }
    double spaceHz() const { return centreHz_ + deviationHz_; }
    double centreHz() const { return centreHz_; }
    double deviationHz() const { return deviationHz_; }
    double driftHzPerSecond() const;
    bool multiSymbol() const { return symbols_ > 1; }
    int rateMultiple() const { return m_; }

private:
    static constexpr int kHistoryPeriods = 1536;  // more than the bit reader keeps (1,024 periods)
    static constexpr int kWindowRing = 16;        // windows kept, by period

    // One tone's view of the stream: u[i] = z[i] e^{-j theta[i]}, theta the tone's phase, kept as
    // running sums so that any interval's correlation costs two look-ups.
    struct Tone {
        std::vector<std::complex<double>> prefix;  // sum of u over samples 0 .. i, at i & mask
        std::vector<float> phase;                  // theta[i], wrapped to (-pi, pi]
        std::complex<double> sum;
        double theta = 0.0;       // phase of the next sample
        double omega = 0.0;       // radians per sample
        std::complex<float> rotor{1.0f, 0.0f};  // e^{-j theta} of the next sample
        std::complex<float> step{1.0f, 0.0f};   // e^{-j omega}
    };
    struct Window {
        std::complex<float> mark, space;
        float markNorm = 0.0f, spaceNorm = 0.0f;
    };

    // Bit correlations on the grid of the last multiple-symbol values: the bit reader asks for
    // the bits of a character one after another on one grid, and each bit's neighbours are the
    // next bits' neighbours too, so each position is correlated once.
    struct GridCache {
        static constexpr int kSize = 32;
        double origin = 0.0, length = -1.0;  // position m spans origin + m x length, periods
        std::int64_t samples = -1;           // the stream's length when the cache was made
        double omega[2] = {};
        std::complex<float> advance[2];      // e^{-j omega length M}
        std::complex<float> mark[kSize], space[kSize];
        bool have[kSize] = {};
    };

    std::complex<double> prefixAt(const Tone& t, std::int64_t i) const;
    void position(double from, double to, std::complex<float>& mark, std::complex<float>& space) const;
    std::complex<float> rangeSum(const Tone& t, double from, double to) const;
    void updateTones();
    void runLoops(const Window& now, const Window& bitAgo);

    int m_;
    int symbols_;
    double rate_;  // samples/s
    std::size_t mask_;
    Tone tones_[2];  // mark, space
    std::int64_t periods_ = 0;
    std::int64_t samples_ = 0;

    double centreHz_, deviationHz_;
    double startCentreHz_, startDeviationHz_;  // the loops stay near the search's estimate
    double driftHzPerPeriod_ = 0.0;
    int windowBits_;  // frequency-loop window, bits
    std::vector<Window> windows_;  // by period
    float searchValue_ = 0.0f;
    int periodsSinceUpdate_ = 0;
    double shiftHz_ = 0.0;
    std::int64_t shiftAt_ = -1;
    mutable GridCache grid_;
};

}  // namespace nimbra::iq
