// FlightLog: the trusted fixes of this session, for the views, the plots and the track export.
//
// In:  accepted fixes from the fix feed (add); untrusted ones are not kept.
// Out: the fixes in order, the latest one, fixAdded() and cleared().
//
// Bounded: at most kMaxFixes (12 hours at a fix a second); beyond it the oldest go. Only the
// latest fix keeps its predicted path (each may carry hundreds of points); older fixes keep their
// predicted landing point.
#pragma once

#include <QObject>

#include <cstddef>
#include <deque>
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
    const FlightFix& latest() const { return fixes_.back(); }
    // A copy in order, for the track documents.
    std::vector<FlightFix> toVector() const { return {fixes_.begin(), fixes_.end()}; }

signals:
    void fixAdded(const nimbra::FlightFix& fix);
    void cleared();

private:
    std::deque<FlightFix> fixes_;
};

}  // namespace nimbra
