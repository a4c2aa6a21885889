#include "flight/flight_tracker.h"

#include <cmath>
#include <utility>

#include "flight/landing_predictor.h"
#include "flight/local_plane.h"

namespace nimbra::flight {

namespace {

// Winds are measured over about this long (the sonde's swing on its line, 10 s or so, averages
// out), and over no more than one band of altitude.
constexpr double kWindBaseS = 10.0;
constexpr double kWindMinBaseS = 1.0;
constexpr double kRecentS = 30.0;

bool sameContinuity(const ContinuityLimits& a, const ContinuityLimits& b)
{
    return a.counterToleranceS == b.counterToleranceS && a.counterToleranceRate == b.counterToleranceRate &&
           a.maxHorizontalSpeedMps == b.maxHorizontalSpeedMps && a.maxVerticalSpeedMps == b.maxVerticalSpeedMps &&
           a.slackM == b.slackM && a.velocityErrorMps == b.velocityErrorMps &&
           a.horizontalAccelMps2 == b.horizontalAccelMps2 && a.verticalAccelMps2 == b.verticalAccelMps2 &&
           a.gapS == b.gapS && a.fixesToAcquire == b.fixesToAcquire;
}

}  // namespace

FlightTracker::FlightTracker(const TrackerSettings& settings)
    : settings_(settings), continuity_(settings.continuity), phases_(settings.phase), winds_(settings.bandHeightM)
{
}

void FlightTracker::reset()
{
    continuity_.reset();
    startFlight(0);
    haveFlight_ = false;
}

void FlightTracker::setSettings(const TrackerSettings& settings)
{
    const bool restartCheck = settings.trust != settings_.trust || !sameContinuity(settings.continuity, settings_.continuity);
    const bool newBands = settings.bandHeightM != settings_.bandHeightM;
    settings_ = settings;
    if (restartCheck)
        continuity_ = ContinuityCheck(settings_.continuity);
    phases_.setLimits(settings_.phase);
    if (newBands)
        winds_ = WindProfile(settings_.bandHeightM);
}

void FlightTracker::startFlight(unsigned id)
{
    phases_.reset();
    winds_.clear();
    ascent_.reset();
    descent_.reset();
    recent_.clear();
    prediction_ = LandingPrediction{};
    landedSeen_ = false;
    haveFlight_ = true;
    flightId_ = id;
}

void FlightTracker::addWind(const Trusted& now)
{
    // The oldest recent fix within kWindBaseS and one band of altitude.
    const Trusted* base = nullptr;
    for (auto it = recent_.rbegin() + 1; it != recent_.rend(); ++it) {
        if (now.timeS - it->timeS > kWindBaseS || std::fabs(now.altitude - it->altitude) > winds_.bandHeight())
            break;
        base = &*it;
    }
    if (!base || now.timeS - base->timeS < kWindMinBaseS)
        return;
    const double dt = now.timeS - base->timeS;
    const Offset o = offsetBetween(base->latitude, base->longitude, now.latitude, now.longitude);
    winds_.add(0.5 * (base->altitude + now.altitude), {o.eastM / dt, o.northM / dt}, now.timeS);
}

void FlightTracker::follow(const FixRecord& r, double timeS)
{
    const Trusted now{timeS, static_cast<double>(r.latitude), static_cast<double>(r.longitude),
                      static_cast<double>(r.altitude)};
    recent_.push_back(now);
    while (recent_.size() > 2 && timeS - recent_.front().timeS > kRecentS)
        recent_.pop_front();

    const FlightPhase phase = phases_.update(timeS, now.latitude, now.longitude, now.altitude);
    if (phase == FlightPhase::Ascent || phase == FlightPhase::Burst || phase == FlightPhase::Descent)
        addWind(now);
    if (phase == FlightPhase::Ascent)
        ascent_.add(timeS, now.altitude);
    descent_.add(timeS, now.altitude, phase == FlightPhase::Burst || phase == FlightPhase::Descent,
                 phases_.highest().timeS);

    if (phase == FlightPhase::Unknown) {
        prediction_ = LandingPrediction{};
        return;
    }
    if (phase == FlightPhase::Landed) {
        if (landedSeen_)
            return;  // where it came down stays, also when its finder carries it off
        // Down: the landing is where it lies, since the altitude came to rest.
        landedSeen_ = true;
        const double restingS = phases_.restingSinceS();
        PredictedPoint here{now.latitude, now.longitude, now.altitude,
                            r.timeMs - static_cast<std::int64_t>(std::llround((timeS - restingS) * 1000.0))};
        prediction_.valid = true;
        prediction_.landing = here;
        prediction_.path = {here};
        prediction_.ascentRateMps = 0.0;
        return;
    }
    PredictionStart start;
    start.latitude = now.latitude;
    start.longitude = now.longitude;
    start.altitude = now.altitude;
    start.timeMs = r.timeMs;
    start.ascending = phase == FlightPhase::Ascent;
    start.ascentRateMps = ascent_.known() ? ascent_.rateMps() : settings_.ascentRateMps;
    start.descentRateMps = descent_.known() ? descent_.seaLevelRateMps() : settings_.descentRateMps;
    start.burstAltitudeM = settings_.burstAltitudeM;
    start.groundAltitudeM = settings_.groundAltitudeM;
    prediction_ = predictLanding(start, winds_);
    if (phases_.burstSeen()) {
        const HighestPoint& top = phases_.highest();
        prediction_.burst = {top.latitude, top.longitude, top.altitude,
                             r.timeMs + static_cast<std::int64_t>(std::llround((top.timeS - timeS) * 1000.0))};
        prediction_.burstObserved = true;
    }
}

FlightFix FlightTracker::track(const FixRecord& record, std::string line, double timeS)
{
    FlightFix fix;
    fix.record = record;
    fix.record.line = nullptr;
    fix.line = std::move(line);

    bool started = false;
    if (settings_.trust) {
        FixSample sample;
        sample.transmitterId = record.transmitterId;
        sample.timeCounter = record.timeCounter;
        sample.latitude = static_cast<double>(record.latitude);
        sample.longitude = static_cast<double>(record.longitude);
        sample.altitude = static_cast<double>(record.altitude);
        sample.timeS = timeS;
        const ContinuityVerdict verdict = continuity_.check(sample);
        fix.trusted = verdict.trusted;
        fix.check = verdict.check;
        started = verdict.flightStarted;
    } else {
        fix.trusted = true;
        fix.check = FixCheck::Unchecked;
        started = !haveFlight_ || record.transmitterId != flightId_;
    }
    if (started)
        startFlight(record.transmitterId);
    if (fix.trusted)
        follow(record, timeS);
    fix.phase = phases_.phase();
    fix.prediction = prediction_;
    return fix;
}

}  // namespace nimbra::flight
