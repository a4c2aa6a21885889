// FlightLog: the trusted fixes of this session, for the views, the plots and the track export.
//
// In:  accepted fixes from the fix feed (add); untrusted ones are not kept; the sonde to follow
//      (the Sondes panel's choice).
// Out: the fixes in order (of every sonde), the latest one of the sonde followed (else of any:
//      the views draw that sonde), the sondes seen, fixAdded(), cleared() and followChanged().
//
// Bounded: at most kMaxFixes (12 hours at a fix a second); beyond it the oldest go. Only each
// sonde's latest fix keeps its predicted path (each may carry hundreds of points); older fixes
// keep their predicted landing point.
#pragma once

#include <QObject>

#include <cstddef>
#include <deque>
#include <optional>
#include <vector>

#include "flight/flight_fix.h"

namespace nimbra {

class FlightLog : public QObject {
    Q_OBJECT

public:
    static constexpr std::size_t kMaxFixes = 43200;

    explicit FlightLog(QObject* parent = nullptr) : QObject(parent) {}

    void add(const FlightFix& fix);
    void clear();

    const std::deque<FlightFix>& fixes() const { return fixes_; }
    bool empty() const { return fixes_.empty(); }
    // The followed sonde's newest fix, or the newest of all when it has none. Not empty().
    const FlightFix& latest() const;
    // A copy in order, for the track documents; of one sonde, or (none) of all.
    std::vector<FlightFix> toVector(std::optional<unsigned> sonde = std::nullopt) const;
    // The sondes with fixes here, in the order they first came.
    std::vector<unsigned> sondes() const;

    // None: the sonde with the newest fix.
    void follow(std::optional<unsigned> sonde);
    const std::optional<unsigned>& followed() const { return followed_; }

signals:
    void fixAdded(const nimbra::FlightFix& fix);
    void cleared();
    void followChanged();

private:
    std::deque<FlightFix> fixes_;
    std::optional<unsigned> followed_;
};

}  // namespace nimbra
