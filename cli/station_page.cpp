#include "cli/station_page.h"

namespace nimbra::cli {

namespace {

web::WebSettings settingsOf(const CliOptions& o)
{
    web::WebSettings s;
    s.address = o.web.address;
    s.port = o.web.port;
    s.tilesDir = o.web.tilesDir;
    return s;
}

}  // namespace

StationPage::StationPage(const CliOptions& o) : identity_(o.outputs.config.identity)
{
    server_ = std::make_unique<web::WebServer>(state_, hub_, settingsOf(o));
    if (!o.web.tilesDir.empty())
        state_.setTileSource("/tiles/{z}/{x}/{y}.png", "local tiles");
    else if (!o.web.tileUrl.empty())
        state_.setTileSource(o.web.tileUrl, o.web.tileUrl.find("openstreetmap.org") != std::string::npos
                                                ? kOsmAttribution
                                                : "tiles from " + o.web.tileUrl.substr(0, o.web.tileUrl.find("/{")));
    else
        state_.setTileSource(kDefaultTileUrl, kOsmAttribution);
    const DecoderParameters defaults;
    state_.setStation(o.stationLat.value_or(defaults.userLat.load()), o.stationLon.value_or(defaults.userLon.load()),
                      o.stationAlt.value_or(defaults.userAlt.load()));
    state_.setEventSink([this](const std::string& name, const std::string& json) { hub_.publish(name, json); });
}

StationPage::~StationPage() { stop(); }

bool StationPage::start(std::string& error) { return server_->start(error); }

void StationPage::stop() { server_->stop(); }

void StationPage::fixes(const std::vector<FlightFix>& fixes)
{
    for (const FlightFix& f : fixes)
        state_.addFix(f, identity_.serialOf(f.record.transmitterId));
}

void StationPage::tick(const InputPump& input, const outputs::OutputSet& outputs)
{
    const auto now = std::chrono::steady_clock::now();
    if (now - lastTick_ < std::chrono::seconds(1))
        return;
    lastTick_ = now;
    input.report(state_);
    std::vector<web::OutputInfo> list;
    for (const outputs::OutputStatus& s : outputs.statuses())
        list.push_back({s.name, s.summary(), s.problem});
    state_.setOutputs(list);
    state_.tick();
}

}  // namespace nimbra::cli
