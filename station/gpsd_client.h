// GpsdClient: the station's position from gpsd (libgps), for a station that moves: a chase car
// with a GPS puck. It runs on a thread of its own and never holds anyone up.
//
// In:  gpsd's host and port (default localhost:2947).
// Out: the latest good position (filtered: position_filter.h); the state (connecting, waiting for
//      a fix, fix, gone) and a note at every change of it.
//
// A GPS without a fix, or gpsd gone, keeps the last good position and says so; gpsd is connected
// to again after a back-off (0.5 s doubling to 5 s). Before the first fix there is no position:
// the caller keeps the one the user typed.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "station/position_filter.h"
#include "station/station_fix.h"

namespace nimbra::station {

struct GpsdAddress {
    std::string host = "localhost";
    int port = 2947;
};

// "gpsd", "gpsd:HOST", "gpsd:HOST:PORT" (the --station value); false with `error` otherwise.
bool parseGpsdAddress(const std::string& text, GpsdAddress& address, std::string& error);

class GpsdClient {
public:
    enum class State { Connecting, NoFix, Fix, Gone };
    using NoteSink = std::function<void(const std::string& text, bool problem)>;

    explicit GpsdClient(GpsdAddress address);
    ~GpsdClient();

    void setNoteSink(NoteSink sink) { notes_ = std::move(sink); }
    void start();
    void stop();

    std::optional<StationFix> position() const;
    State state() const { return state_.load(); }
    // "gpsd localhost:2947: fix (3D), 12 m/s", for the status bar.
    std::string describe() const;
    int rejected() const;

private:
    void run();
    void setState(State s, const std::string& detail);
    bool sleepFor(double seconds);

    GpsdAddress address_;
    NoteSink notes_;
    std::atomic<State> state_{State::Connecting};
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    PositionFilter filter_;  // guarded
    std::string detail_;     // guarded
    bool stopping_ = false;  // guarded
    std::thread thread_;
};

const char* stateName(GpsdClient::State state);

}  // namespace nimbra::station
