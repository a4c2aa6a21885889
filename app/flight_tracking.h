// FlightTracking: the tracking stage of the desktop program's fix feed. Every accepted fix, live
// or from a recording, goes through one FlightTracker on the GUI thread before anything sees it,
// so that the panels, the views, the plots, the track export and the network outputs all get
// the same FlightFix: trusted or not, the flight phase and the latest landing prediction.
//
// In:  the fix feed (installs itself as its tracker), the flight-tracking settings with the
//      station's altitude (apply), the start of a recording (restart).
// Out: the feed's fixAccepted carries tracked fixes. With the trust setting off every fix is
//      trusted (the phase and the prediction are still made).
//
// The tracker's clock is the decoder's sample count at the fix's block (48,000 a second), live
// too: a recording decoded faster than real time is judged as it flew, and a stall of the GUI
// does not look like a gap in the flight.
#pragma once

#include "app/flight_settings.h"
#include "flight/flight_tracker.h"

namespace nimbra {

class FixFeed;

class FlightTracking {
public:
    static constexpr double kSampleRate = 48000.0;

    // Installs itself on `feed`, which it must not outlive (the destructor takes it off again).
    FlightTracking(FixFeed& feed, const FlightTrackingSettings& settings, double stationAltitudeM);
    ~FlightTracking();
    FlightTracking(const FlightTracking&) = delete;
    FlightTracking& operator=(const FlightTracking&) = delete;

    // New settings or a new station altitude (the default ground) apply from the next fix.
    void apply(const FlightTrackingSettings& settings, double stationAltitudeM);
    // A new recording is a new flight: the next fixes pick it up afresh.
    void restart() { tracker_.reset(); }

    const FlightTrackingSettings& settings() const { return settings_; }
    const flight::FlightTracker& tracker() const { return tracker_; }

private:
    FixFeed& feed_;
    FlightTrackingSettings settings_;
    flight::FlightTracker tracker_;
};

}  // namespace nimbra
