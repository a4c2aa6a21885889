#include "web/web_server.h"

#include <httplib.h>

#include <fstream>
#include <map>
#include <sstream>

#include "web/page_files.h"

namespace nimbra::web {

namespace {

constexpr int kEventWaitMs = 15000;  // a keep-alive comment after this long without events
constexpr int kMaxZoom = 22;
constexpr const char* kLeafletImages[] = {"layers.png", "layers-2x.png", "marker-icon.png", "marker-icon-2x.png",
                                          "marker-shadow.png"};

bool readWhole(const std::string& path, std::string& out)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream s;
    s << in.rdbuf();
    out = s.str();
    return true;
}

}  // namespace

// The files served: the page's own and Leaflet's, read once at the start.
struct WebServer::Files {
    struct File {
        std::string contentType;
        std::string body;
    };
    std::map<std::string, File> byPath;
};

WebServer::WebServer(StationState& state, EventHub& hub, WebSettings settings)
    : state_(state), hub_(hub), settings_(std::move(settings)), server_(std::make_unique<httplib::Server>()),
      files_(std::make_unique<Files>())
{
    for (std::size_t i = 0; i < kPageFileCount; ++i)
        files_->byPath[kPageFiles[i].path] = {kPageFiles[i].contentType, kPageFiles[i].text};
    files_->byPath["/"] = files_->byPath["/index.html"];
    std::string body;
    leafletFound_ = readWhole(settings_.leafletDir + "/leaflet.js", body);
    if (leafletFound_) {
        files_->byPath["/leaflet/leaflet.js"] = {"text/javascript; charset=utf-8", body};
        if (readWhole(settings_.leafletDir + "/leaflet.css", body))
            files_->byPath["/leaflet/leaflet.css"] = {"text/css; charset=utf-8", body};
        for (const char* image : kLeafletImages)
            if (readWhole(settings_.leafletDir + "/images/" + image, body))
                files_->byPath[std::string("/leaflet/images/") + image] = {"image/png", body};
    }
}

WebServer::~WebServer() { stop(); }

void WebServer::routes()
{
    httplib::Server& s = *server_;
    s.new_task_queue = [] { return new httplib::ThreadPool(kThreads); };
    s.set_payload_max_length(1024);
    s.set_read_timeout(5, 0);
    s.set_write_timeout(5, 0);
    s.set_keep_alive_max_count(100);

    for (const auto& [path, file] : files_->byPath) {
        const Files::File* f = &file;
        s.Get(path, [f](const httplib::Request&, httplib::Response& res) {
            res.set_content(f->body, f->contentType.c_str());
            res.set_header("Cache-Control", "no-cache");
        });
    }
    if (!settings_.tilesDir.empty()) {
        const std::string dir = settings_.tilesDir;
        s.Get(R"(/tiles/(\d{1,2})/(\d{1,7})/(\d{1,7})\.png)", [dir](const httplib::Request& req, httplib::Response& res) {
            const int z = std::stoi(req.matches[1]);
            const long x = std::stol(req.matches[2]), y = std::stol(req.matches[3]);
            std::string body;
            // Numbers only, within the zoom level: the path names nothing but a tile.
            if (z > kMaxZoom || x >= (1L << z) || y >= (1L << z) ||
                !readWhole(dir + "/" + std::to_string(z) + "/" + std::to_string(x) + "/" + std::to_string(y) + ".png", body)) {
                res.status = 404;
                return;
            }
            res.set_content(body, "image/png");
        });
    }
    auto json = [](const std::function<std::string()>& make) {
        return [make](const httplib::Request&, httplib::Response& res) {
            res.set_content(make(), "application/json");
            res.set_header("Cache-Control", "no-cache");
        };
    };
    s.Get("/api/v1/sondes", json([this] { return state_.sondesJson(); }));
    s.Get("/api/v1/status", json([this] { return state_.statusJson(); }));
    s.Get("/api/v1/snapshot", json([this] { return state_.snapshotJson(); }));
    s.Get("/events", [this](const httplib::Request&, httplib::Response& res) {
        res.set_header("Cache-Control", "no-cache");
        res.set_header("X-Accel-Buffering", "no");
        const EventHub::ClientId id = hub_.subscribe();
        auto started = std::make_shared<bool>(false);
        res.set_chunked_content_provider(
            "text/event-stream",
            [this, id, started](std::size_t, httplib::DataSink& sink) {
                if (stopping_)
                    return false;
                std::string event;
                bool reset = false;
                if (!*started || (hub_.next(id, event, reset, kEventWaitMs) && reset)) {
                    // A page that has just come, or one that fell behind, starts from the whole.
                    *started = true;
                    const std::string snapshot = EventHub::format("snapshot", state_.snapshotJson());
                    return sink.write(snapshot.data(), snapshot.size());
                }
                if (stopping_)
                    return false;
                if (event.empty())
                    event = ": keep-alive\n\n";
                return sink.write(event.data(), event.size());
            },
            [this, id](bool) { hub_.unsubscribe(id); });
    });
    // Nothing on the page changes the station.
    const auto refuse = [](const httplib::Request&, httplib::Response& res) {
        res.status = 405;
        res.set_header("Allow", "GET, HEAD");
    };
    s.Post(".*", refuse);
    s.Put(".*", refuse);
    s.Patch(".*", refuse);
    s.Delete(".*", refuse);
    s.Options(".*", refuse);
}

bool WebServer::start(std::string& error)
{
    routes();
    if (settings_.port == 0) {
        port_ = server_->bind_to_any_port(settings_.address);
        if (port_ <= 0) {
            error = "--http: cannot listen on " + settings_.address;
            return false;
        }
    } else {
        if (!server_->bind_to_port(settings_.address, settings_.port)) {
            error = "--http: cannot listen on " + settings_.address + ":" + std::to_string(settings_.port) +
                    " (in use, or not an address of this machine)";
            return false;
        }
        port_ = settings_.port;
    }
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    return true;
}

void WebServer::stop()
{
    if (stopping_.exchange(true))
        return;
    hub_.stop();
    server_->stop();
    if (thread_.joinable())
        thread_.join();
}

}  // namespace nimbra::web
