// RotatorPolicy: when a rotator is to move, and where to.
//
// In:  the settings; for each decision the time, the newest trusted fix's look angles (or none),
//      whether the station's position is known, and where the rotator was last sent.
// Out: a position to send, or nothing.
//
// It moves only when the target is more than `thresholdDeg` from where it was last sent (the
// angle on the sky; with azimuth only, the azimuth difference), at most every `intervalS`, with
// the elevation clipped to 0-90 (0 with azimuth only). It never moves on an untrusted fix or
// without a station position (the caller gives no target then). With no new fix for
// `homeAfterS` it goes home once, when a home is set, and stays there until a new fix comes.
#pragma once

#include <optional>

namespace nimbra::station {

struct RotatorSettings {
    double thresholdDeg = 5.0;
    double intervalS = 5.0;
    bool azimuthOnly = false;
    double homeAfterS = 0.0;  // 0: never home
    double homeAzimuth = 0.0, homeElevation = 0.0;
};

struct Pointing {
    double azimuth = 0.0;    // degrees, 0 north, clockwise, in [0, 360)
    double elevation = 0.0;  // degrees
};

// The angle on the sky between two pointings, degrees.
double separationDeg(const Pointing& a, const Pointing& b);

class RotatorPolicy {
public:
    explicit RotatorPolicy(RotatorSettings settings = {}) : settings_(settings) {}

    // `target`: the newest trusted fix's look angles and its time (seconds), if any.
    std::optional<Pointing> decide(double nowS, const std::optional<Pointing>& target, double targetTimeS);
    // What was last sent (after a command was acknowledged).
    void sent(const Pointing& p, double nowS);
    // The rotator's position is no longer known (rotctld connected again, perhaps restarted):
    // the next decision sends the target whatever the threshold (the interval still holds).
    void forget() { lastSent_.reset(); }
    const std::optional<Pointing>& lastSent() const { return lastSent_; }
    const RotatorSettings& settings() const { return settings_; }

private:
    RotatorSettings settings_;
    std::optional<Pointing> lastSent_;
    double lastSentS_ = -1e9;
    double lastTargetS_ = -1e9;  // the newest fix's time
    bool homed_ = false;
    bool everSent_ = false;  // a flight was followed: there is somewhere to come home from
};

}  // namespace nimbra::station
