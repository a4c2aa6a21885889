// StationState: what the station's web page and its JSON API show, kept up to date by the
// decoding thread and read by the web server's threads.
//
// In:  every fix as it is printed, the receiver's channels, the band's spectrum, the radio's
//      state, the network outputs' states, log lines (from the page's publishing thread, which
//      takes them from the decoding thread: cli/station_page.h).
// Out: JSON documents: the sondes (/api/v1/sondes), the status (/api/v1/status), a snapshot of
//      everything for a page that has just connected, and the events that keep a page current
//      (a fix, the sondes' table, the spectrum, the status, a log line), each made once and
//      handed to every client (event_hub.h).
//
// Bounded: per sonde its last kTrackPoints trusted positions; the log's last kLogLines lines;
// sondes not heard for kForgetS are dropped (on the fixes' own clock: a recording decoded
// faster than real time forgets them on its time). Every member function takes one mutex for a few
// microseconds; nothing waits on a client.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "flight/flight_fix.h"

namespace nimbra::web {

struct ChannelInfo {
    int channel = 0;
    double frequencyHz = 0.0;  // absolute when the tuning is known, else against it
    bool absolute = false;
    double deviationHz = 0.0;
    double levelDb = 0.0;
    double ebN0Db = 0.0;       // NaN when unknown
    int goodBlocks = 0, badBlocks = 0;
};

struct SpectrumInfo {
    double centreHz = 0.0;     // the tuning (0 when unknown)
    double spanHz = 0.0;       // the rate
    std::vector<float> powerDb;  // low to high, at most kSpectrumPoints
    std::vector<float> floorDb;
    double bandLowHz = 0.0, bandHighHz = 0.0;  // the band the station covers
};

struct DeviceInfo {
    std::string name;          // "rtl_tcp 127.0.0.1:1234", or the input file
    std::string state;         // connecting, running, reconnecting, stopped, file
    std::string problem;
    std::uint64_t samples = 0, lost = 0;
    int reconnects = 0;
};

// What the input shows the page: the radio or the file, its channels and the band's spectrum.
struct InputReport {
    DeviceInfo device;
    std::vector<ChannelInfo> channels;
    SpectrumInfo spectrum;
    bool hasSpectrum = false;
};

struct OutputInfo {
    std::string name;
    std::string state;  // the output's own one-line summary
    bool problem = false;
};

class StationState {
public:
    static constexpr std::size_t kTrackPoints = 4000;
    static constexpr std::size_t kLogLines = 200;
    static constexpr std::size_t kSpectrumPoints = 1024;
    static constexpr double kForgetS = 3600.0;

    // Events for the page: name and JSON, made once per change.
    using EventSink = std::function<void(const std::string& name, const std::string& json)>;

    void setEventSink(EventSink sink);
    void setStation(double lat, double lon, double alt);
    void setTileSource(const std::string& url, const std::string& attribution);

    void addFix(const FlightFix& fix, const std::string& serial);
    void setChannels(const std::vector<ChannelInfo>& channels);
    void setSpectrum(const SpectrumInfo& spectrum);
    void setDevice(const DeviceInfo& device);
    void setInput(const InputReport& report);
    void setOutputs(const std::vector<OutputInfo>& outputs);
    void log(const std::string& line);
    // Once a second from the decoding thread: the table and the status go out if changed.
    void tick();

    std::string sondesJson() const;
    std::string statusJson() const;
    std::string snapshotJson() const;

private:
    struct Sonde {
        std::string serial;
        FlightFix last;
        std::deque<std::pair<double, double>> track;  // lat, lon of trusted fixes
        std::chrono::steady_clock::time_point heard;
        std::int64_t heardMs = 0;  // its last fix's time stamp
        int channel = 0;
        int fixes = 0;
    };

    std::string sondesJsonLocked() const;
    std::string statusJsonLocked() const;
    void emit(const std::string& name, const std::string& json);

    mutable std::mutex mutex_;
    std::map<std::string, Sonde> sondes_;
    std::vector<ChannelInfo> channels_;
    SpectrumInfo spectrum_;
    DeviceInfo device_;
    std::vector<OutputInfo> outputs_;
    std::deque<std::string> log_;
    double stationLat_ = 0.0, stationLon_ = 0.0, stationAlt_ = 0.0;
    std::string tileUrl_, tileAttribution_;
    std::string lastSondes_, lastStatus_;
    std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
    bool clockSet_ = false;
    std::int64_t newestMs_ = 0;  // the newest fix's time stamp, and when it came
    std::chrono::steady_clock::time_point newestAt_;
    EventSink sink_;
};

}  // namespace nimbra::web
