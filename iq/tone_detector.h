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
// length (two for close tones, so that the tones separate); where one tone clearly dominates two
// windows a bit apart, the phase advance between them measures that tone's frequency error. A
// second-order loop on the centre (drift followed without lag) and a slow one on the deviation
// turn these errors into the tones' frequencies. No decisions are needed, so the loops run
// between blocks (the idle mark tone) as well as in them.
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
    std::int64_t history() const { return historyPeriods_; }
    // Periods the detector needs beyond an interval's end (the neighbouring bits it looks at).
    std::int64_t lookahead() const { return 2 * kPeriodsPerBit + 2; }

    // Soft value of the bit over [a, b), in periods.
    double bitValue(double a, double b) const;
    // The value of one window alone (no neighbours): also for intervals that straddle an edge.
    double windowValue(double a, double b) const;
    // Search value of the period just pushed: the window value of the last bit length.
    float searchValue() const { return searchValue_; }

    // The front end moved its oscillator by `hz`, effective from period `fromPeriod` on: the
    // tones move by -hz and the history is turned as if it had been mixed that way too.
    void retuned(double hz, std::int64_t fromPeriod);

    double markHz() const { return centreHz_ - deviationHz_; }
    double spaceHz() const { return centreHz_ + deviationHz_; }
    double centreHz() const { return centreHz_; }
    double deviationHz() const { return deviationHz_; }
    double driftHzPerSecond() const;
    bool multiSymbol() const { return symbols_ > 1; }
    int rateMultiple() const { return m_; }

private:
    struct Window {
        std::complex<float> mark, space;
        float markNorm = 0.0f, spaceNorm = 0.0f;
    };

    std::complex<float> at(std::int64_t i) const { return ring_[static_cast<std::size_t>(i) & mask_]; }
    void correlate(double a, double b, int positions, std::complex<float>* mark,
                   std::complex<float>* space) const;
    void updateTones();
    void runLoops(const Window& now, const Window& bitAgo);

    int m_;
    int symbols_;
    double rate_;                 // samples/s
    std::vector<std::complex<float>> ring_;
    std::size_t mask_;
    std::int64_t historyPeriods_;
    std::int64_t periods_ = 0;

    double centreHz_, deviationHz_;
    double startCentreHz_, startDeviationHz_;  // the loops stay near the search's estimate
    double driftHzPerPeriod_ = 0.0;
    int windowBits_;               // frequency-loop window, bits
    std::complex<float> stepMark_, stepSpace_;  // e^{-j w} per sample
    std::complex<float> lagMark_, lagSpace_;    // e^{-j w L}, L = one bit of samples
    std::vector<Window> windows_;  // the last bit and a period of windows, by period
    float searchValue_ = 0.0f;
    int periodsSinceUpdate_ = 0;
};

}  // namespace nimbra::iq
