// RetrySchedule: how long to wait before each new try to start capture after it was lost, and
// which tries the trace mentions.
//
// In:  the waits (for example 1 s, 2 s, 5 s, then 10 s for every further try) and how often a
//      try is traced once the waits have reached their last step.
// Out: nextDelayMs() for each try in turn; traceThisTry(now) for the try about to be made.
//
// Every try is traced while the waits still grow; after that, one try per traceEveryMs, so that
// a station whose sound card is gone for a week writes a line a minute, not six.
#pragma once

#include <QList>

namespace nimbra {

class RetrySchedule {
public:
    explicit RetrySchedule(QList<int> delaysMs = {1000, 2000, 5000, 10000}, int traceEveryMs = 60000);

    // Capture runs again: the next loss starts from the first wait.
    void reset();
    // The wait before the next try (counts the try).
    int nextDelayMs();
    // Tries counted since the last reset.
    int tries() const { return tries_; }
    // Whether the try counted last is traced, at nowMs (any monotonic clock in ms).
    bool traceThisTry(long long nowMs);

private:
    QList<int> delaysMs_;
    int traceEveryMs_;
    int tries_ = 0;
    long long lastTraceMs_ = 0;
};

}  // namespace nimbra
