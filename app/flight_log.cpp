#include "app/flight_log.h"

#include <algorithm>

namespace nimbra {

namespace {

// How far back a sonde's previous fix is looked for when a new one comes (several sondes
// interleave their fixes): its predicted path goes.
constexpr std::size_t kPathLookBack = 256;

}  // namespace

void FlightLog::add(const FlightFix& fix)
{
    if (!fix.trusted)
        return;
    const std::size_t back = std::min(kPathLookBack, fixes_.size());
    for (std::size_t i = 1; i <= back; ++i) {
        FlightFix& f = fixes_[fixes_.size() - i];
        if (f.record.transmitterId == fix.record.transmitterId) {
            f.prediction.path.clear();
            break;
        }
    }
    if (fixes_.size() >= kMaxFixes)
        fixes_.pop_front();
    fixes_.push_back(fix);
    emit fixAdded(fixes_.back());
}

void FlightLog::clear()
{
    fixes_.clear();
    emit cleared();
}

const FlightFix& FlightLog::latest() const
{
    if (followed_)
        for (auto it = fixes_.rbegin(); it != fixes_.rend(); ++it)
            if (it->record.transmitterId == *followed_)
                return *it;
    return fixes_.back();
}

std::vector<FlightFix> FlightLog::toVector(std::optional<unsigned> sonde) const
{
    std::vector<FlightFix> out;
    for (const FlightFix& f : fixes_)
        if (!sonde || f.record.transmitterId == *sonde)
            out.push_back(f);
    return out;
}

std::vector<unsigned> FlightLog::sondes() const
{
    std::vector<unsigned> ids;
    for (const FlightFix& f : fixes_)
        if (std::find(ids.begin(), ids.end(), f.record.transmitterId) == ids.end())
            ids.push_back(f.record.transmitterId);
    return ids;
}

void FlightLog::follow(std::optional<unsigned> sonde)
{
    if (sonde == followed_)
        return;
    followed_ = sonde;
    emit followChanged();
}

}  // namespace nimbra
