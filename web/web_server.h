// WebServer: the station's live web page and its JSON API, served on a thread pool of its own
// by cpp-httplib (no HTTP of our own making).
//
// In:  the address to bind (127.0.0.1 unless given), the state to show (station_state.h), the
//      events (event_hub.h), where Leaflet lives (Debian's libjs-leaflet) and an optional local
//      tile folder.
// Out: GET only, and only these: the page (/, /page.js, /page.css); Leaflet
//      (/leaflet/leaflet.js, /leaflet/leaflet.css, /leaflet/images/ and its five pictures);
//      /tiles/Z/X/Y.png from the tile folder (numbers only, within the zoom level's range);
//      /api/v1/sondes, /api/v1/status, /api/v1/snapshot (JSON); /events (server-sent events:
//      a snapshot first, then every change). Nothing else answers but 404 (405 for other
//      methods); a body, or a request over httplib's limits, gets its HTTP error. Nothing the page
//      can send changes the station.
//
// Safety: the files served are a fixed list held in memory from the start, so no request can
// name a path; 96 threads serve at once (50 browsers each with an event stream and a few loads);
// a write that cannot go on for 5 s ends its connection, so a browser that stops reading only
// ever holds its own thread.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "web/event_hub.h"
#include "web/station_state.h"

namespace httplib {
class Server;
}

namespace nimbra::web {

struct WebSettings {
    std::string address = "127.0.0.1";
    int port = 8080;
    std::string leafletDir = "/usr/share/javascript/leaflet";
    std::string tilesDir;  // empty: tiles from the tile URL
};

class WebServer {
public:
    static constexpr int kThreads = 96;

    WebServer(StationState& state, EventHub& hub, WebSettings settings);
    ~WebServer();
    WebServer(const WebServer&) = delete;
    WebServer& operator=(const WebServer&) = delete;

    // Binds and starts serving; false with `error` (one line) when the address is taken or bad.
    bool start(std::string& error);
    void stop();
    int port() const { return port_; }
    bool leafletFound() const { return leafletFound_; }

private:
    void routes();

    StationState& state_;
    EventHub& hub_;
    WebSettings settings_;
    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    int port_ = 0;
    bool leafletFound_ = false;
    struct Files;
    std::unique_ptr<Files> files_;
};

}  // namespace nimbra::web
