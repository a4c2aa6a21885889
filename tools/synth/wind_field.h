// WindField: the true wind that a synthetic flight drifts in, against altitude (and, optionally,
// time).
//
// In:  a seed (a smooth random profile), or a CSV table of altitude, east and north wind.
// Out: the wind (m/s towards the east and the north) at any altitude and time.
//
// The seeded profile is shaped like a mid-latitude sounding: a light surface wind fading within
// the first kilometres, a jet stream of 10 to 45 m/s centred between 9 and 12.5 km, a weaker
// stratospheric wind of another direction above 18 km, and smooth ripples of 1 to 8 km
// wavelength and 0.5 to 2.5 m/s on each component. With `driftMps` above zero each component
// also carries a part of that amplitude that changes over periods of 3 to 8 hours, so the wind a
// parachute meets is not quite the wind the balloon measured on its way up.
//
// The CSV table: lines "altitude_m,east_mps,north_mps" in increasing altitude; lines that do not
// start with a number (a header, '#' comments) are skipped. Between rows the wind is linear,
// beyond the first and last rows constant.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "flight/wind_profile.h"

namespace nimbra::synth {

using flight::Wind;

class WindField {
public:
    // A calm field.
    WindField() = default;

    static WindField seeded(std::uint64_t seed, double driftMps = 0.0);
    // False with a message naming the file and line when the table cannot be used.
    static bool fromCsv(const std::string& path, WindField& field, std::string& error);

    Wind at(double altitudeM, double timeS) const;

private:
    struct Ripple {
        double wavelengthM;
        double amplitudeMps;
        double phase;
        double periodS;  // 0: steady
        double timePhase;
    };
    struct Row {
        double altitudeM;
        Wind wind;
    };
    static double ripples(const std::vector<Ripple>& list, double altitudeM, double timeS);

    bool seededProfile_ = false;
    // Seeded profile.
    double jetSpeed_ = 0.0, jetAltitude_ = 0.0, jetWidth_ = 1.0, jetDirection_ = 0.0;
    double surfaceSpeed_ = 0.0, surfaceDirection_ = 0.0;
    double stratoSpeed_ = 0.0, stratoDirection_ = 0.0;
    std::vector<Ripple> eastRipples_, northRipples_;
    // Table.
    std::vector<Row> rows_;
};

}  // namespace nimbra::synth
