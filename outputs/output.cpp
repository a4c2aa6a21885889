#include "outputs/output.h"

namespace nimbra::outputs {

std::string OutputStatus::summary(bool full) const
{
    std::string s = name + ": " + std::to_string(sent) + " sent, " + std::to_string(waiting) + " waiting";
    auto add = [&](std::uint64_t n, const char* what) {
        if (full || n != 0)
            s += ", " + std::to_string(n) + " " + what;
    };
    add(retried, "retried");
    add(dropped, "dropped");
    if (rejected)
        add(rejected, "refused");
    if (failed)
        add(failed, "failed");
    return s;
}

OutputWorker::OutputWorker(std::string name, StateSink sink) : name_(std::move(name)), sink_(std::move(sink)) {}

OutputWorker::~OutputWorker()
{
    // A derived class that forgot stop() would leave a thread running on a destroyed object.
    if (thread_.joinable())
        std::terminate();
}

void OutputWorker::start()
{
    thread_ = std::thread([this] {
        run();
        done_ = true;
    });
}

OutputStatus OutputWorker::status() const
{
    OutputStatus s;
    s.name = name_;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        s.state = state_;
        s.problem = problem_;
    }
    s.sent = sent_;
    s.waiting = waitingCount();
    s.retried = retried_;
    s.dropped = droppedCount();
    s.rejected = rejected_;
    s.failed = failed_;
    return s;
}

void OutputWorker::beginFinish(Clock::time_point deadline)
{
    if (finishing_.load())
        return;
    deadline_ = deadline.time_since_epoch().count();
    finishing_ = true;
    wake();
}

void OutputWorker::stop()
{
    beginFinish(Clock::now());
    if (thread_.joinable())
        thread_.join();
}

bool OutputWorker::deadlinePassed() const { return finishing_.load() && Clock::now() >= finishDeadline(); }

Clock::time_point OutputWorker::finishDeadline() const
{
    return Clock::time_point(Clock::duration(deadline_.load()));
}

Clock::time_point OutputWorker::capped(Clock::time_point t) const
{
    if (!finishing_.load())
        return t;
    const Clock::time_point d = finishDeadline();
    return d < t ? d : t;
}

void OutputWorker::setState(const std::string& state, bool problem)
{
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        if (state == state_ && problem == problem_)
            return;
        state_ = state;
        problem_ = problem;
    }
    report(state, problem);
}

void OutputWorker::report(const std::string& line, bool problem)
{
    if (sink_)
        sink_(name_ + ": " + line, problem);
}

}  // namespace nimbra::outputs
