// Output: one network output (chase-map UDP, SondeHub upload, MQTT, live KML) as the rest of the
// program sees it, and OutputWorker, the base that runs each output on its own thread.
//
// In:  accepted fixes with their context, through accept() on the decoding thread; accept() only
//      queues (or, for the SondeHub spool, appends to a local journal) and never waits on the
//      network.
// Out: deliveries made by the output's worker thread; its state and counters through status()
//      (any thread); one line through the StateSink at each change of state, from the worker.
//
// Each output has a thread of its own, so that one stuck on a slow connect, a DNS lookup or a
// long HTTP timeout never holds back the others, and each has its own bounded queue, so that a
// dead broker never costs the chase map a fix.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "flight/flight_fix.h"
#include "outputs/fix_context.h"

namespace nimbra::outputs {

using Clock = std::chrono::steady_clock;

struct OutputStatus {
    std::string name;    // "UDP", "SondeHub", "MQTT", "live KML"
    std::string state;   // e.g. "sending", "reconnecting", "server error 503; retrying"
    bool problem = false;
    std::uint64_t sent = 0;      // fixes delivered
    std::uint64_t waiting = 0;   // fixes queued or spooled, not delivered yet
    std::uint64_t retried = 0;   // fixes that needed more than one attempt
    std::uint64_t dropped = 0;   // fixes dropped because a queue or the spool was full
    std::uint64_t rejected = 0;  // fixes the server refused (4xx: not retried)
    std::uint64_t failed = 0;    // fixes that could not be sent and are not kept (UDP)

    // "SondeHub: 120 sent, 3 waiting"; the other counters when they are not 0; with `full`
    // retried and dropped always.
    std::string summary(bool full = false) const;
};

// Receives "NAME: state" lines; `problem` tells a failure from a note.
using StateSink = std::function<void(const std::string& line, bool problem)>;

class Output {
public:
    virtual ~Output() = default;
    virtual void accept(const FlightFix& fix, const FixContext& context) = 0;
    virtual OutputStatus status() const = 0;
    // Asks the worker to deliver what is waiting and to stop once it is done or at `deadline`.
    // Returns at once.
    virtual void beginFinish(Clock::time_point deadline) = 0;
    virtual bool finished() const = 0;
    // beginFinish(now) unless already asked, then waits for the worker thread to end.
    virtual void stop() = 0;
};

class OutputWorker : public Output {
public:
    OutputStatus status() const override;
    void beginFinish(Clock::time_point deadline) override;
    bool finished() const override { return done_.load(); }
    void stop() override;

protected:
    OutputWorker(std::string name, StateSink sink);
    // The derived class calls stop() in its destructor, while its members still exist.
    ~OutputWorker() override;

    // Starts the worker thread; the derived constructor calls it last.
    void start();
    // The worker's body: returns when finishing() and nothing is waiting, or at the deadline.
    virtual void run() = 0;
    // Wakes the worker from whatever it waits on.
    virtual void wake() = 0;
    virtual std::uint64_t waitingCount() const = 0;
    virtual std::uint64_t droppedCount() const { return dropped_; }

    bool finishing() const { return finishing_.load(); }
    bool deadlinePassed() const;
    Clock::time_point finishDeadline() const;
    // The earlier of `t` and the finish deadline (when finishing).
    Clock::time_point capped(Clock::time_point t) const;

    // Records the state; a change goes to the sink as one line.
    void setState(const std::string& state, bool problem);
    // One line to the sink, without changing the state.
    void report(const std::string& line, bool problem);

    std::atomic<std::uint64_t> sent_{0}, retried_{0}, dropped_{0}, rejected_{0}, failed_{0};

private:
    const std::string name_;
    StateSink sink_;
    std::thread thread_;
    std::atomic<bool> finishing_{false};
    std::atomic<bool> done_{false};
    std::atomic<Clock::rep> deadline_{0};
    mutable std::mutex stateMutex_;
    std::string state_ = "starting";
    bool problem_ = false;
};

}  // namespace nimbra::outputs
