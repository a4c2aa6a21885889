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
    state_.setStation(double(o.stationLat.value_or(defaults.userLat.load())),
                      double(o.stationLon.value_or(defaults.userLon.load())),
                      double(o.stationAlt.value_or(defaults.userAlt.load())));
    state_.setEventSink([this](const std::string& name, const std::string& json) { hub_.publish(name, json); });
}

StationPage::~StationPage() { stop(); }

bool StationPage::start(std::string& error)
{
    if (!server_->start(error))
        return false;
    publisher_ = std::thread([this] { publish(); });
    return true;
}

void StationPage::stop()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (publisher_.joinable())
        publisher_.join();
    server_->stop();
}

void StationPage::note(const std::string& line)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (notes_.size() < kMaxWaiting)
            notes_.push_back(line);
    }
    wake_.notify_one();
}

void StationPage::fixes(const std::vector<FlightFix>& fixes)
{
    if (fixes.empty())
        return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const FlightFix& f : fixes)
            if (fixes_.size() < kMaxWaiting)
                fixes_.push_back(f);
    }
    wake_.notify_one();
}

void StationPage::tick(const InputPump& input, const outputs::OutputSet& outputs)
{
    const auto now = std::chrono::steady_clock::now();
    if (now - lastTick_ < std::chrono::seconds(1))
        return;
    lastTick_ = now;
    web::InputReport report;
    input.report(report);
    std::vector<web::OutputInfo> list;
    for (const outputs::OutputStatus& s : outputs.statuses())
        list.push_back({s.name, s.summary(), s.problem});
    {
        std::lock_guard<std::mutex> lock(mutex_);
        report_ = std::move(report);
        outputs_ = std::move(list);
        reportNew_ = true;
    }
    wake_.notify_one();
}

void StationPage::publish()
{
    auto lastTick = std::chrono::steady_clock::now();
    for (;;) {
        std::vector<FlightFix> fixes;
        std::vector<std::string> notes;
        web::InputReport report;
        std::vector<web::OutputInfo> outputs;
        bool reportNew = false;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait_for(lock, std::chrono::seconds(1),
                           [this] { return stopping_ || !fixes_.empty() || !notes_.empty() || reportNew_; });
            if (stopping_)
                return;
            fixes.swap(fixes_);
            notes.swap(notes_);
            if (reportNew_) {
                report = std::move(report_);
                outputs = std::move(outputs_);
                reportNew = true;
                reportNew_ = false;
            }
        }
        for (const std::string& n : notes)
            state_.log(n);
        for (const FlightFix& f : fixes)
            state_.addFix(f, identity_.serialOf(f.record.transmitterId));
        if (reportNew) {
            state_.setInput(report);
            state_.setOutputs(outputs);
        }
        const auto now = std::chrono::steady_clock::now();
        if (now - lastTick >= std::chrono::seconds(1) || reportNew) {
            lastTick = now;
            state_.tick();
        }
    }
}

}  // namespace nimbra::cli
