#include "flight/flight_phase.h"

#include <cmath>

namespace nimbra::flight {

namespace {

// History kept for the rates: the longest base plus room for sparse fixes.
constexpr double kHistoryS = 120.0;

}  // namespace

const char* phaseName(FlightPhase phase)
{
    switch (phase) {
    case FlightPhase::Unknown: return "unknown";
    case FlightPhase::Ascent: return "ascent";
    case FlightPhase::Burst: return "burst";
    case FlightPhase::Descent: return "descent";
    case FlightPhase::Landed: return "landed";
    }
    return "unknown";
}

const char* phaseLabel(FlightPhase phase)
{
    switch (phase) {
    case FlightPhase::Unknown: return "Unknown";
    case FlightPhase::Ascent: return "Ascent";
    case FlightPhase::Burst: return "Burst";
    case FlightPhase::Descent: return "Descent";
    case FlightPhase::Landed: return "Landed";
    }
    return "Unknown";
}

void PhaseDetector::reset()
{
    phase_ = FlightPhase::Unknown;
    history_.clear();
    highest_ = HighestPoint{};
    burstSeen_ = false;
}

bool PhaseDetector::rateOver(double baseS, double& rate, double endAgeS) const
{
    // The newest sample at least endAgeS old ends the stretch.
    auto end = history_.rbegin();
    while (end != history_.rend() && history_.back().timeS - end->timeS < endAgeS)
        ++end;
    if (end == history_.rend())
        return false;
    for (auto it = end + 1; it != history_.rend(); ++it) {
        const double dt = end->timeS - it->timeS;
        if (dt >= baseS) {
            rate = (end->altitude - it->altitude) / dt;
            return true;
        }
    }
    return false;
}

double PhaseDetector::restingSinceS() const
{
    if (history_.empty())
        return 0.0;
    // The level it rests at: the mean of the last landedBaseS, steadier than any one fix.
    const double newest = history_.back().timeS;
    double sum = 0.0;
    int n = 0;
    for (auto it = history_.rbegin(); it != history_.rend() && newest - it->timeS <= limits_.landedBaseS; ++it) {
        sum += it->altitude;
        ++n;
    }
    const double rest = sum / n;
    double since = newest;
    for (auto it = history_.rbegin(); it != history_.rend(); ++it) {
        if (std::fabs(it->altitude - rest) > kRestM)
            break;
        since = it->timeS;
    }
    return since;
}

FlightPhase PhaseDetector::update(double timeS, double latitude, double longitude, double altitude)
{
    history_.push_back({timeS, altitude});
    while (history_.size() > 2 && timeS - history_.front().timeS > kHistoryS)
        history_.pop_front();

    if (phase_ == FlightPhase::Unknown || phase_ == FlightPhase::Ascent) {
        if (!highest_.known || altitude > highest_.altitude)
            highest_ = {true, timeS, latitude, longitude, altitude};
    }
    double rate = 0.0;
    const bool haveRate = rateOver(limits_.rateBaseS, rate);
    switch (phase_) {
    case FlightPhase::Unknown:
        if (haveRate && rate > limits_.ascentRateMps)
            phase_ = FlightPhase::Ascent;
        else if (haveRate && rate < -limits_.descentRateMps)
            phase_ = FlightPhase::Descent;
        // Before the ascent the highest point is only where the sonde was; it restarts with the
        // climb.
        if (phase_ != FlightPhase::Ascent)
            highest_ = {true, timeS, latitude, longitude, altitude};
        break;
    case FlightPhase::Ascent: {
        // Sustained: falling over the last base and over the base before it.
        double before = 0.0;
        if (haveRate && rate < -limits_.descentRateMps && highest_.altitude - altitude >= limits_.burstDropM &&
            rateOver(limits_.rateBaseS, before, limits_.rateBaseS) && before < -limits_.descentRateMps) {
            phase_ = FlightPhase::Burst;
            burstSeen_ = true;
        }
        break;
    }
    case FlightPhase::Burst:
        if (timeS - highest_.timeS >= limits_.burstShowS)
            phase_ = FlightPhase::Descent;
        break;
    case FlightPhase::Descent:
        if (rateOver(limits_.landedBaseS, rate) && rate > -limits_.landedRateMps && rate < limits_.landedRateMps)
            phase_ = FlightPhase::Landed;
        break;
    case FlightPhase::Landed:
        break;
    }
    return phase_;
}

}  // namespace nimbra::flight
