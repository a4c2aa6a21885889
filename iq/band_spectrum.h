// BandSpectrum: what the whole band holds, a quarter of a second at a time: the averaged power
// spectrum, the noise floor under it, and the regions that stand above that floor.
//
// In:  each hop's FFT of the band from the channelizer (rectangular window over N samples).
// Out: after each interval a BandView: the spectrum (Hann window, applied as a three-bin
//      convolution of the rectangular FFT) from -rate/2 up, the floor per bin, the noise
//      variance per sample it stands for, and the regions above the floor, each with its edges,
//      peak, level and whether it is a line (narrower than a modulated signal can be).
//
// The floor is a low quantile of the bins in segments of about 1/16 of the band, each segment
// taking the lowest of itself and its neighbours (a wide signal may fill one), interpolated
// between segments: a dongle's floor falls towards the band's edges. A region is a run of bins
// whose spectrum, smoothed over 2.4 kHz, stands eight standard deviations of the smoothed noise
// above the floor, so that noise alone practically never makes one; runs less than two bins
// apart are one region.
#pragma once

#include <complex>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace nimbra::iq {

struct SpectrumRegion {
    double lowHz = 0.0, highHz = 0.0;  // edges against the tuning
    double peakHz = 0.0;
    double levelDb = 0.0;   // the peak of the smoothed spectrum against the floor
    bool line = false;      // narrower than kMinModulatedHz: a carrier (spur, DC, idle tone)
    double widthHz() const { return highHz - lowHz; }
    double centreHz() const { return 0.5 * (lowHz + highHz); }
};

struct BandView {
    double rate = 0.0;
    double binHz = 0.0;
    std::int64_t endSample = 0;   // input samples taken when the interval ended
    std::vector<float> powerDb;   // per bin from -rate/2 up, dB of the Hann power against 1
    std::vector<float> floorDb;
    std::vector<SpectrumRegion> regions;
    double levelDbAt(double hz) const;   // the spectrum against the floor at a frequency
    // The variance per sample of the band's white noise at a frequency (from the floor).
    double noiseVarianceAt(double hz) const;
    double windowEnergy = 0.0;  // sum of the window's squares (Hann: 3N/8)
    std::size_t binAt(double hz) const;
};

// The view in at most `points` points, for a picture of the band: each point the strongest bin
// (and the lowest floor) of those it stands for.
void reduceView(const BandView& view, std::size_t points, std::vector<float>& powerDb, std::vector<float>& floorDb);

class BandSpectrum {
public:
    static constexpr double kMinModulatedHz = 4000.0;

    BandSpectrum(double rate, std::size_t fftSize, std::size_t hop, double intervalSeconds = 0.25);

    // One hop's FFT; true when an interval is complete and view() is new.
    bool add(const std::complex<float>* bins, std::int64_t endSample);
    const BandView& view() const { return view_; }
    // Forgets the interval under way (the radio was retuned).
    void restartInterval();

    // The view of an averaged Hann power spectrum (FFT order), exposed for the tests.
    static BandView viewOf(const std::vector<double>& power, double rate, int averaged);

private:
    double rate_;
    std::size_t size_;
    int hopsPerInterval_;
    int hops_ = 0;
    std::vector<double> power_;
    std::vector<float> hopPower_;  // summed over the interval's hops (a few hundred: float holds it)
    BandView view_;
};

}  // namespace nimbra::iq
