// StationPage: nimbra-decode's live web page (--http): the state the page shows, fed from the
// decoding thread, and the server that shows it (web/).
//
// In:  the options (--http [ADDR:]PORT, --tiles DIR, --tile-url URL, --station); each fix as it is
//      printed, each note, and once a second the input's and the outputs' state.
// Out: the page, its events and its JSON API, served on threads of their own; feeding it costs
//      the decoding thread a copy and, once a second, a few small JSON documents.
#pragma once

#include <chrono>
#include <memory>
#include <string>
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

    explicit StationPage(const CliOptions& options);
    ~StationPage();

    // Binds the address; false with `error` (one line).
    bool start(std::string& error);
    void stop();
    int port() const { return server_->port(); }
    bool leafletFound() const { return server_->leafletFound(); }

    void note(const std::string& line) { state_.log(line); }
    void fixes(const std::vector<FlightFix>& fixes);
    // At most once a second it takes the input's and the outputs' state and sends what changed.
    void tick(const InputPump& input, const outputs::OutputSet& outputs);

private:
    web::StationState state_;
    web::EventHub hub_;
    std::unique_ptr<web::WebServer> server_;
    outputs::SondeIdentity identity_;
    std::chrono::steady_clock::time_point lastTick_{};
};

}  // namespace nimbra::cli
