// nimbra-synth's band: the options that describe several sondes, spurs, the crystal error and
// the dongle's faults for the iq channel, and the band they describe.
//
// In:  the options (see kBandUsage); the flight settings the other options made, which every
//      sonde starts from.
// Out: BandSettings and DongleSettings. Without --sonde the band holds one sonde made of the
//      single-sonde options (--offset, --drift, --deviation, --id, --first-counter).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "synth/band.h"
#include "synth/band_spec.h"
#include "synth/dongle.h"

namespace nimbra::synth {

extern const char* const kBandUsage;

struct BandOptions {
    std::vector<std::string> sondeSpecs;  // --sonde, in order
    std::vector<Spur> spurs;
    double ppm = 0.0;
    double tunedHz = 1680e6;
    DongleSettings dongle;
    bool given = false;  // any of these options
};

// Takes `arg` (and its value) when it is a band option; false when it is not. A bad value ends
// the program with status 2 (option_values.h).
bool takeBandOption(const std::string& arg, const std::function<const char*()>& value, BandOptions& band);

// The band: `base` is the sonde the single-sonde options describe (its flight, offset, deviation,
// drift); each --sonde starts from it with the next identifier and counter and a track of its own,
// then takes the keys it gives. A bad --sonde ends the program with status 2.
BandSettings makeBand(const BandOptions& band, const BandSonde& base, double sampleRate, double durationS);

}  // namespace nimbra::synth
