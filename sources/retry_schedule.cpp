#include "sources/retry_schedule.h"

#include <utility>

namespace nimbra {

RetrySchedule::RetrySchedule(QList<int> delaysMs, int traceEveryMs)
    : delaysMs_(std::move(delaysMs)), traceEveryMs_(traceEveryMs)
{
    if (delaysMs_.isEmpty())
        delaysMs_ = {1000};
}

void RetrySchedule::reset()
{
    tries_ = 0;
    lastTraceMs_ = 0;
}

int RetrySchedule::nextDelayMs()
{
    const int step = tries_ < delaysMs_.size() ? tries_ : int(delaysMs_.size()) - 1;
    ++tries_;
    return delaysMs_.at(step);
}

bool RetrySchedule::traceThisTry(long long nowMs)
{
    if (tries_ <= delaysMs_.size() || nowMs - lastTraceMs_ >= traceEveryMs_) {
        lastTraceMs_ = nowMs;
        return true;
    }
    return false;
}

}  // namespace nimbra
