// Wind profile: the horizontal wind against altitude as the sonde itself measured it, in bands.
//
// In:  horizontal velocities of the sonde (m/s east and north) at altitudes (m), with their time.
//      A balloon and a parachute drift with the air, so the sonde's horizontal velocity is the
//      wind where it flies.
// Out: the wind at any altitude: within the measured range linear between the centres of the
//      measured bands (gaps bridged the same way), outside it the wind of the nearest band.
//
// Each band (bandHeightM, default 250 m: a balloon takes about 50 s to cross it, enough samples
// to average the sonde's swing on its line) holds the mean of its samples, the newest weighted
// most: a band remembers at most its last kMemorySamples, and a new pass through the band (the
// descent through a band measured during the ascent, kNewPassS after its last sample) keeps only
// kCarrySamples worth of the old value, so the newest data take over within a few samples.
#pragma once

#include <map>
#include <vector>

namespace nimbra::flight {

struct Wind {
    double eastMps = 0.0;
    double northMps = 0.0;
};

struct WindBand {
    double bottomM = 0.0;  // the band spans bottomM .. bottomM + band height
    Wind wind;
    int samples = 0;       // the weight the band's mean carries (capped)
    double lastTimeS = 0.0;
};

class WindProfile {
public:
    static constexpr int kMemorySamples = 30;
    static constexpr int kCarrySamples = 3;
    static constexpr double kNewPassS = 120.0;

    explicit WindProfile(double bandHeightM = 250.0);

    void add(double altitudeM, const Wind& wind, double timeS);
    void clear() { bands_.clear(); }

    bool empty() const { return bands_.empty(); }
    double bandHeight() const { return bandHeightM_; }
    // The wind at an altitude; calm when nothing was measured yet.
    Wind at(double altitudeM) const;
    // Top of the highest measured band, metres (0 when empty).
    double topM() const;
    // The measured bands, lowest first.
    std::vector<WindBand> bands() const;

private:
    struct State {
        Wind wind;
        int samples = 0;
        double lastTimeS = 0.0;
    };
    int bandOf(double altitudeM) const;
    double centreOf(int band) const { return (band + 0.5) * bandHeightM_; }

    double bandHeightM_;
    std::map<int, State> bands_;
};

}  // namespace nimbra::flight
