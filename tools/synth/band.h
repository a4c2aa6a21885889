// Band: what a dongle's tuner delivers of the radiosonde band: several sondes, each on its own
// frequency with its own flight, level, deviation and drift, fading as it swings under its
// balloon, switching on and off and rising out of the noise; unmodulated spurs; the receiver's
// noise; and the crystal error that shifts every frequency and the sample clock alike.
//
// In:  BandSettings: the rate, the tuned frequency, the crystal error, the noise reference, the
//      sondes and the spurs.
// Out: complex samples at the nominal rate in pieces of any size (sample for sample the same
//      however it is cut), unit scale: a sonde at 0 dB is a carrier of power 1, and the noise is
//      set by the Eb/N0 such a sonde would have (IqChannel's definition). The expected fixes of
//      every sonde, in the order their blocks end. The dongle's own faults (DC, I/Q imbalance,
//      gain, quantisation) come after this, in dongle.h.
//
// The crystal: one oscillator drives the tuner and the sample clock, so a crystal `ppm` fast puts
// the local oscillator ppm x tuned frequency high and takes samples ppm faster. Against the
// nominal clock a signal offset f from the tuning then shows at (f - ppm x tuned) / (1 + ppm),
// its deviation and bit rate 1 / (1 + ppm) of their true values. Each sonde is rendered at the
// true sample rate (rate x (1 + ppm)) with its carrier moved by the LO error; its envelope runs
// on true time.
#pragma once

#include <complex>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

#include "synth/channel_iq.h"
#include "synth/flight.h"
#include "synth/modulator.h"
#include "synth/random.h"

namespace nimbra::synth {

struct BandSonde {
    FlightSettings flight;       // identifier, counter, track; gpsBlocks is set from the band
    // Line bits to send instead of the flight's (from the start of the band; more may be added
    // with Band::appendBits as the band is rendered). No expected fixes then.
    std::vector<std::uint8_t> bits;
    double offsetHz = 0.0;       // carrier against the tuned frequency, true Hz, at switch-on
    double deviationHz = 3600.0;
    double levelDb = 0.0;        // carrier power against the noise reference
    double driftHzPerS = 0.0;
    double fadeDepthDb = 0.0;    // swing under the balloon: the level dips this far...
    double fadePeriodS = 0.0;    // ...once a period (0: no fading)
    double onS = 0.0;            // switched on (true seconds from the start)
    double offS = std::numeric_limits<double>::infinity();
    double riseDb = 0.0;         // comes over the horizon: starts this far below its level...
    double riseS = 0.0;          // ...and reaches it this long after switching on
};

struct Spur {
    double offsetHz = 0.0;  // against the tuned frequency, as the dongle makes it (no crystal shift)
    double levelDb = 0.0;   // power against the noise reference
};

struct BandSettings {
    double sampleRate = 2400000.0;  // nominal samples/s
    double tunedHz = 1680e6;
    double ppm = 0.0;               // crystal error
    double durationS = 90.0;
    std::optional<double> ebN0Db;   // of a 0 dB sonde; none: no noise
    double samplesPerBit = 4.992;   // the reference sonde's bit length, 48 kHz samples
    std::vector<BandSonde> sondes;
    std::vector<Spur> spurs;
    std::uint64_t seed = 1;
};

class Band {
public:
    explicit Band(const BandSettings& settings);
    ~Band();
    Band(const Band&) = delete;
    Band& operator=(const Band&) = delete;

    std::size_t totalSamples() const { return total_; }
    std::size_t rendered() const { return position_; }
    // The next `count` samples (fewer at the end).
    std::vector<std::complex<float>> render(std::size_t count);
    // More line bits for a sonde that sends its own (BandSonde::bits).
    void appendBits(std::size_t sonde, const std::vector<std::uint8_t>& bits);
    // Samples from the start that the line bits given so far cover, for every sonde that sends
    // its own (beyond them it idles); the band's length when none does.
    std::size_t covered() const;

    // Every sonde's expected fixes, ordered by the end of their blocks (true seconds).
    const std::vector<ExpectedFix>& expected() const { return expected_; }
    double noiseSigma() const { return sigma_; }
    // Mean power per sample of everything in the band (for the dongle's automatic gain).
    double meanPower() const;
    const BandSettings& settings() const { return settings_; }

private:
    struct Source;

    BandSettings settings_;
    std::vector<std::unique_ptr<Source>> sources_;
    std::vector<ExpectedFix> expected_;
    std::vector<std::complex<double>> spurRotors_;  // each spur's phasor for the next sample
    Random noise_;
    double sigma_ = 0.0;
    std::size_t total_ = 0;
    std::size_t position_ = 0;
};

// The noise's standard deviation per component: the Eb/N0 of the band's reference sonde.
double bandNoiseSigma(const BandSettings& settings);

}  // namespace nimbra::synth
