#include "flight/continuity_check.h"

#include <cmath>

#include "flight/local_plane.h"

namespace nimbra::flight {

namespace {

constexpr std::size_t kMaxChains = 8;
// The velocity of the reference is measured over about this long a stretch of trusted fixes: long
// enough that GPS scatter hardly moves it, short enough to follow a burst.
constexpr double kVelocityBaseS = 10.0;
constexpr double kMinVelocityBaseS = 2.0;
constexpr double kHistoryS = 30.0;

unsigned counterStep(unsigned from, unsigned to) { return (to - from) & 0xFFFFu; }

}  // namespace

const char* fixCheckName(FixCheck check)
{
    switch (check) {
    case FixCheck::Trusted: return "trusted";
    case FixCheck::Duplicate: return "duplicate";
    case FixCheck::Acquiring: return "acquiring";
    case FixCheck::Identifier: return "identifier";
    case FixCheck::Counter: return "counter";
    case FixCheck::Motion: return "motion";
    case FixCheck::Unchecked: return "unchecked";
    }
    return "unknown";
}

ContinuityCheck::ContinuityCheck(const ContinuityLimits& limits) : limits_(limits)
{
    if (limits_.fixesToAcquire < 1)
        limits_.fixesToAcquire = 1;
}

void ContinuityCheck::reset()
{
    trusted_.clear();
    chains_.clear();
    flightId_ = 0;
}

ContinuityCheck::Velocity ContinuityCheck::velocityAt(const std::deque<FixSample>& fixes)
{
    Velocity v;
    if (fixes.size() < 2)
        return v;
    const FixSample& last = fixes.back();
    // The fix nearest kVelocityBaseS before the last one, at least kMinVelocityBaseS before it.
    const FixSample* base = nullptr;
    for (const FixSample& f : fixes) {
        const double age = static_cast<double>(counterStep(f.timeCounter, last.timeCounter));
        if (age < kMinVelocityBaseS || age > kHistoryS)
            continue;
        if (!base || std::fabs(age - kVelocityBaseS) <
                         std::fabs(counterStep(base->timeCounter, last.timeCounter) - kVelocityBaseS))
            base = &f;
    }
    if (!base) {
        // Fixes closer together than the minimum base: the last step will do.
        base = &fixes[fixes.size() - 2];
    }
    const double dt = counterStep(base->timeCounter, last.timeCounter);
    if (dt <= 0.0 || dt > kHistoryS)
        return v;
    const Offset o = offsetBetween(base->latitude, base->longitude, last.latitude, last.longitude);
    v.eastMps = o.eastM / dt;
    v.northMps = o.northM / dt;
    v.upMps = (last.altitude - base->altitude) / dt;
    v.known = true;
    return v;
}

FixCheck ContinuityCheck::compare(const FixSample& from, const Velocity& velocity, const FixSample& to) const
{
    if (to.transmitterId != from.transmitterId)
        return FixCheck::Identifier;
    const unsigned steps = counterStep(from.timeCounter, to.timeCounter);
    if (steps == 0)
        return FixCheck::Duplicate;
    const double elapsed = to.timeS - from.timeS;
    const double dc = static_cast<double>(steps);
    if (std::fabs(dc - elapsed) > limits_.counterToleranceS + limits_.counterToleranceRate * std::fabs(elapsed))
        return FixCheck::Counter;

    // Motion over the counter's seconds: the sonde's own clock.
    const Offset moved = offsetBetween(from.latitude, from.longitude, to.latitude, to.longitude);
    const double climb = to.altitude - from.altitude;
    if (!(lengthOf(moved) <= limits_.maxHorizontalSpeedMps * dc) ||
        !(std::fabs(climb) <= limits_.maxVerticalSpeedMps * dc))
        return FixCheck::Motion;
    if (velocity.known) {
        const double common = limits_.slackM + limits_.velocityErrorMps * dc;
        const double horizontal = common + 0.5 * limits_.horizontalAccelMps2 * dc * dc;
        const double vertical = common + 0.5 * limits_.verticalAccelMps2 * dc * dc;
        const Offset off{moved.eastM - velocity.eastMps * dc, moved.northM - velocity.northMps * dc};
        if (lengthOf(off) > horizontal || std::fabs(climb - velocity.upMps * dc) > vertical)
            return FixCheck::Motion;
    }
    return FixCheck::Trusted;
}

bool ContinuityCheck::joinChain(const FixSample& fix)
{
    // Chains whose last fix is too old, or lies ahead of this one, no longer count.
    for (std::size_t i = chains_.size(); i-- > 0;) {
        const double age = fix.timeS - chains_[i].back().timeS;
        if (age > limits_.gapS || age < -limits_.counterToleranceS)
            chains_.erase(chains_.begin() + static_cast<long>(i));
    }
    std::deque<FixSample>* best = nullptr;
    for (auto& chain : chains_)
        if (compare(chain.back(), velocityAt(chain), fix) == FixCheck::Trusted &&
            (!best || chain.size() > best->size()))
            best = &chain;
    if (!best) {
        if (chains_.size() >= kMaxChains)
            chains_.erase(chains_.begin());  // the one least recently started
        chains_.emplace_back();
        best = &chains_.back();
    }
    best->push_back(fix);
    if (static_cast<int>(best->size()) < limits_.fixesToAcquire)
        return false;
    trusted_ = *best;
    chains_.clear();
    return true;
}

ContinuityVerdict ContinuityCheck::check(const FixSample& fix)
{
    ContinuityVerdict verdict;
    if (!trusted_.empty() && fix.timeS - trusted_.back().timeS <= limits_.gapS) {
        const FixSample& last = trusted_.back();
        verdict.check = compare(last, velocityAt(trusted_), fix);
        // The same counter at another position is a conflicting copy of the last block.
        if (verdict.check == FixCheck::Duplicate &&
            (fix.latitude != last.latitude || fix.longitude != last.longitude || fix.altitude != last.altitude))
            verdict.check = FixCheck::Counter;
        if (verdict.check == FixCheck::Trusted) {
            verdict.trusted = true;
            trusted_.push_back(fix);
            while (trusted_.size() > 2 && counterStep(trusted_.front().timeCounter, fix.timeCounter) > kHistoryS)
                trusted_.pop_front();
            return verdict;
        }
        // A repeat is not evidence of anything: it joins no chain.
        if (verdict.check == FixCheck::Duplicate)
            return verdict;
    }
    const bool hadFlight = !trusted_.empty();
    const unsigned previousId = flightId_;
    if (joinChain(fix)) {
        verdict.trusted = true;
        verdict.check = FixCheck::Trusted;
        verdict.flightStarted = !hadFlight || fix.transmitterId != previousId;
        flightId_ = fix.transmitterId;
    }
    return verdict;
}

}  // namespace nimbra::flight
