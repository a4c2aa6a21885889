// StationPage: nimbra-decode's live web page (--http): the state the page shows and the server
// that shows it (web/), fed from the decoding thread at the cost of a few copies.
//
// In:  the options (--http [ADDR:]PORT, --tiles DIR, --tile-url URL, --station); from the
//      decoding thread each fix as it is printed, each note, and once a second the input's and
//      the outputs' state.
// Out: the page, its events and its JSON API. The decoding thread only hands copies over (under
//      one mutex, never waiting); a publishing thread of the page's own makes the JSON documents
//      and the events, so that the page costs decoding next to nothing however many browsers
//      watch.
#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "cli/input_pump.h"
#include "cli/options.h"
#include "outputs/output_set.h"
#include "web/event_hub.h"
#include "web/station_state.h"
#include "web/web_server.h"

namespace nimbra::cli {

class StationPage {
public:
    static constexpr const char* kDefaultTileUrl = "https://tile.openstreetmap.org/{z}/{x}/{y}.png";
    static constexpr const char* kOsmAttribution =
        "&copy; <a href=\"https://www.openstreetmap.org/copyright\">OpenStreetMap</a> contributors";
    static constexpr std::size_t kMaxWaiting = 10000;  // fixes and notes not yet published

    explicit StationPage(const CliOptions& options);
    ~StationPage();

    // Binds the address and starts publishing; false with `error` (one line).
    bool start(std::string& error);
    void stop();
    int port() const { return server_->port(); }
    bool leafletFound() const { return server_->leafletFound(); }

    // Decoding thread.
    void note(const std::string& line);
    void fixes(const std::vector<FlightFix>& fixes);
    // At most once a second it copies the input's and the outputs' state.
    void tick(const InputPump& input, const outputs::OutputSet& outputs);

private:
    void publish();

    web::StationState state_;
    web::EventHub hub_;
    std::unique_ptr<web::WebServer> server_;
    outputs::SondeIdentity identity_;
    std::chrono::steady_clock::time_point lastTick_{};

    std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<FlightFix> fixes_;   // guarded: waiting to be published
    std::vector<std::string> notes_; // guarded
    web::InputReport report_;        // guarded: the latest
    std::vector<web::OutputInfo> outputs_;
    bool reportNew_ = false;
    bool stopping_ = false;
    std::thread publisher_;
};

}  // namespace nimbra::cli
