// FlightTracker: turns each accepted fix into a FlightFix: trusted or not, the flight phase, and
// the landing prediction from the sonde's own winds.
//
// In:  each fix the decoder accepted (FixRecord), its decoded-text line, and a time in seconds
//      chosen by the caller: the recording's sample time (FixRecord::sampleIndex / 48000), also
//      when live; see flight/continuity_check.h for why and for the wall clock.
// Out: a FlightFix per fix. Only trusted fixes move the flight on (phase, winds, rates,
//      prediction); an untrusted fix carries the phase and prediction as they stand.
//
// Settings (TrackerSettings), for nimbra-decode's options and the desktop program's settings:
//   trust              the continuity check on (default) or off; off: every fix is trusted;
//   continuity, phase  the check's and the phase detector's limits (defaults justified in
//                      continuity_check.h and flight_phase.h);
//   burstAltitudeM     where the ascent is expected to end (default 30,000 m); used until the
//                      burst is seen;
//   groundAltitudeM    the landing altitude (give it the station's altitude by default);
//   ascentRateMps      the ascent rate until 20 s of ascent are measured (default 5 m/s);
//   descentRateMps     the parachute's sea-level descent rate until the descent is measured
//                      (default 5 m/s);
//   bandHeightM        the wind bands' height (default 250 m).
// setSettings() keeps the flight: new rates and altitudes apply from the next fix; changed
// continuity limits restart the check, which then takes the next three fixes to pick the flight
// up again.
//
// For display: phaseLabel()/phaseName() (flight/flight_phase.h), fixCheckName()
// (flight/continuity_check.h), winds() for a wind plot, prediction() for the latest prediction.
//
// A new identifier that takes over (three agreeing fixes, or its first fix with the check off)
// starts a new flight: phase, winds and rates start afresh. One thread drives a tracker; it
// allocates only for the prediction's path, once per fix.
#pragma once

#include <deque>
#include <string>

#include "telemetry/fix_record.h"
#include "flight/continuity_check.h"
#include "flight/flight_fix.h"
#include "flight/flight_phase.h"
#include "flight/vertical_rates.h"
#include "flight/wind_profile.h"

namespace nimbra::flight {

struct TrackerSettings {
    bool trust = true;
    ContinuityLimits continuity;
    PhaseLimits phase;
    double burstAltitudeM = 30000.0;
    double groundAltitudeM = 220.0;
    double ascentRateMps = 5.0;
    double descentRateMps = 5.0;
    double bandHeightM = 250.0;
};

class FlightTracker {
public:
    explicit FlightTracker(const TrackerSettings& settings = {});

    FlightFix track(const FixRecord& record, std::string line, double timeS);
    // Forgets everything: the next fix is the first.
    void reset();

    void setSettings(const TrackerSettings& settings);
    const TrackerSettings& settings() const { return settings_; }

    FlightPhase phase() const { return phases_.phase(); }
    const LandingPrediction& prediction() const { return prediction_; }
    const WindProfile& winds() const { return winds_; }
    bool hasFlight() const { return haveFlight_; }
    unsigned flightId() const { return flightId_; }

private:
    struct Trusted {
        double timeS;
        double latitude;
        double longitude;
        double altitude;
    };
    void startFlight(unsigned id);
    void follow(const FixRecord& record, double timeS);
    void addWind(const Trusted& now);

    TrackerSettings settings_;
    ContinuityCheck continuity_;
    PhaseDetector phases_;
    WindProfile winds_;
    AscentRateMean ascent_;
    DescentRateFit descent_;
    std::deque<Trusted> recent_;  // the last trusted fixes, for the winds
    LandingPrediction prediction_;
    bool landedSeen_ = false;
    bool haveFlight_ = false;
    unsigned flightId_ = 0;
};

}  // namespace nimbra::flight
