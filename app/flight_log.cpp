#include "app/flight_log.h"

namespace nimbra {

void FlightLog::add(const FlightFix& fix)
{
    if (!fix.trusted)
        return;
    if (!fixes_.empty())
        fixes_.back().prediction.path.clear();
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

}  // namespace nimbra
