// Rotator: a directional antenna kept on the sonde through rotctld, on a thread of its own, so
// that neither the decoding nor the window ever waits on the rotator.
//
// In:  the newest trusted fix's look angles of the sonde it follows (from whoever decides which
//      sonde that is), or that there is none (no trusted fix, no station position); settings.
// Out: "P az el" commands as the policy decides (rotator_policy.h); the state for the status
//      bar and standard error: connected or not, the target, the last command and reply, where
//      the rotator says it is. A rotctld that refuses (RPRT -1) or is gone is reported once and
//      tried again: a refused command after the interval, a lost connection with a back-off
//      (1 s doubling to 10 s).
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "station/rotator_policy.h"
#include "station/rotctld_client.h"

namespace nimbra::station {

struct RotatorStatus {
    bool connected = false;
    std::optional<Pointing> target;
    std::optional<Pointing> commanded;  // the last command rotctld took
    std::optional<Pointing> refused;    // the last command, when rotctld refused it
    std::optional<Pointing> position;   // where the rotator said it is
    std::string lastReply;              // rotctld's answer to the last command
    std::string problem;                // "" while all is well
    int commands = 0;
};

class Rotator {
public:
    using NoteSink = std::function<void(const std::string& text, bool problem)>;
    static constexpr double kPollS = 2.0;

    Rotator(RotctldAddress address, RotatorSettings settings);
    ~Rotator();

    void setNoteSink(NoteSink sink) { notes_ = std::move(sink); }
    void start();
    void stop();

    // The sonde's look angles from its newest trusted fix, at `timeS` (steady seconds); or none.
    void follow(const Pointing& target, double timeS);
    void followNothing();
    RotatorStatus status() const;
    // "rotctld localhost:4533: connected, target 123.4/12.3, sent 123.0/12.0 (RPRT 0), at
    // 121.0/12.0", for the status bar and standard error.
    std::string describe() const;

private:
    void run();
    void note(const std::string& text, bool problem);

    RotctldClient client_;
    RotatorPolicy policy_;
    NoteSink notes_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::optional<Pointing> target_;  // guarded
    double targetS_ = 0.0;            // guarded
    RotatorStatus status_;            // guarded
    bool stopping_ = false;           // guarded
    std::thread thread_;
};

}  // namespace nimbra::station
