#include "app/flight_tracking.h"

#include <utility>

#include "app/fix_feed.h"

namespace nimbra {

FlightTracking::FlightTracking(FixFeed& feed, const FlightTrackingSettings& settings, double stationAltitudeM)
    : feed_(feed)
{
    apply(settings, stationAltitudeM);
    feed_.setTracker([this](FlightFix& fix) {
        const int satellites = fix.satellites;
        fix = tracker_.track(fix.record, std::move(fix.line), static_cast<double>(fix.record.sampleIndex) / kSampleRate);
        fix.satellites = satellites;
    });
}

FlightTracking::~FlightTracking()
{
    feed_.setTracker(nullptr);
}

void FlightTracking::apply(const FlightTrackingSettings& settings, double stationAltitudeM)
{
    settings_ = settings;
    tracker_.setSettings(settings.tracker(stationAltitudeM));
}

}  // namespace nimbra
