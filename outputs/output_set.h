// OutputSet: the network outputs of one run, as nimbra-decode and the desktop program drive them.
//
// In:  OutputConfig; each accepted fix through publish() on the decoding thread.
// Threads: publish() may come from whichever thread drives the decoder (the desktop program's
// live loop or its WAVE decode) while another starts or stops the set; one lock keeps them apart.
//
// Out: the fix handed to every running output (trusted fixes only, unless the configuration lets
//      every fix through), with its context (serial, whether motion is known) made once; the
//      outputs' states and counters; the lines the outputs reported, handed to a listener as they
//      come or kept for the caller to take.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "outputs/fix_context.h"
#include "outputs/output.h"
#include "outputs/output_config.h"

namespace nimbra::outputs {

struct StateLine {
    std::string text;  // "MQTT: connection lost (...); reconnecting"
    bool problem = false;
};

class OutputSet {
public:
    static constexpr std::size_t kMaxKeptLines = 1000;

    OutputSet() = default;
    ~OutputSet();
    OutputSet(const OutputSet&) = delete;
    OutputSet& operator=(const OutputSet&) = delete;

    // Called from the outputs' threads with each line as it is reported; while one is set, lines
    // are not kept for takeStateLines(). Set before start().
    void setLineListener(std::function<void(const StateLine&)> listener) { listener_ = std::move(listener); }

    // Starts the outputs the configuration turns on. False with a one-line `error` when one
    // cannot start (its spool folder is in use, its file cannot be written); none runs then.
    // `program` names the default spool folder.
    bool start(const OutputConfig& config, const std::string& program, std::string& error);
    bool empty() const;

    void publish(const FlightFix& fix);

    std::vector<OutputStatus> statuses() const;
    // The lines reported since the last call, oldest first (at most kMaxKeptLines).
    std::vector<StateLine> takeStateLines();

    // Lets every output deliver what waits for at most `waitSeconds`, then stop; returns at once.
    void beginFinish(double waitSeconds);
    bool finished() const;
    // Stops every output now (after beginFinish: once its deadline has passed) and waits for it.
    void stop();
    // stop(), then forgets the outputs: the set is empty again.
    void clear();

private:
    mutable std::mutex runMutex_;  // outputs_, contexts_, trustedOnly_
    std::vector<std::unique_ptr<Output>> outputs_;
    std::unique_ptr<FixContextMaker> contexts_;
    bool trustedOnly_ = true;
    std::function<void(const StateLine&)> listener_;
    std::mutex linesMutex_;
    std::vector<StateLine> lines_;
};

}  // namespace nimbra::outputs
