#include "outputs/output_set.h"

#include "outputs/live_kml_output.h"
#include "outputs/mqtt_output.h"
#include "outputs/sondehub_output.h"
#include "outputs/udp_output.h"

namespace nimbra::outputs {

OutputSet::~OutputSet() { stop(); }

bool OutputSet::start(const OutputConfig& config, const std::string& program, std::string& error)
{
    std::lock_guard<std::mutex> run(runMutex_);
    for (auto& output : outputs_)
        output->stop();
    outputs_.clear();
    trustedOnly_ = config.trustedOnly;
    contexts_ = std::make_unique<FixContextMaker>(config.identity);
    const std::string station = config.stationName.empty() ? defaultStationName() : config.stationName;
    StateSink sink = [this](const std::string& line, bool problem) {
        if (listener_) {
            listener_(StateLine{line, problem});
            return;
        }
        std::lock_guard<std::mutex> lock(linesMutex_);
        if (lines_.size() >= kMaxKeptLines)
            lines_.erase(lines_.begin());
        lines_.push_back(StateLine{line, problem});
    };
    std::vector<std::unique_ptr<Output>> started;
    if (!config.liveKmlPath.empty()) {
        auto kml = LiveKmlOutput::create(config.liveKmlPath, config.station, config.queueCapacity, sink, error);
        if (!kml)
            return false;
        started.push_back(std::move(kml));
    }
    if (!config.sondehubCallsign.empty()) {
        SondeHubSettings s;
        s.url = config.sondehubUrl;
        s.uploader.callsign = config.sondehubCallsign;
        if (config.stationGiven)
            s.uploader.position = config.station;
        s.livePosition = config.livePosition;
        s.chase = config.sondehubChase;
        s.identity = config.identity;
        s.intervalS = config.sondehubIntervalS;
        s.spool.folder = config.spoolFolder.empty() ? defaultSpoolFolder(program) : config.spoolFolder;
        s.spool.maxBytes = config.spoolMaxBytes;
        auto hub = SondeHubOutput::create(s, sink, error);
        if (!hub)
            return false;
        started.push_back(std::move(hub));
    }
    if (config.udp)
        started.push_back(std::make_unique<UdpOutput>(*config.udp, config.identity.type, station,
                                                      config.queueCapacity, sink));
    if (config.mqtt)
        started.push_back(std::make_unique<MqttOutput>(*config.mqtt, station, config.queueCapacity, sink));
    outputs_ = std::move(started);
    return true;
}

bool OutputSet::empty() const
{
    std::lock_guard<std::mutex> run(runMutex_);
    return outputs_.empty();
}

void OutputSet::publish(const FlightFix& fix)
{
    std::lock_guard<std::mutex> run(runMutex_);
    if (outputs_.empty() || (trustedOnly_ && !fix.trusted))
        return;
    const FixContext context = contexts_->make(fix);
    for (auto& output : outputs_)
        output->accept(fix, context);
}

std::vector<OutputStatus> OutputSet::statuses() const
{
    std::lock_guard<std::mutex> run(runMutex_);
    std::vector<OutputStatus> all;
    for (const auto& output : outputs_)
        all.push_back(output->status());
    return all;
}

std::vector<StateLine> OutputSet::takeStateLines()
{
    std::lock_guard<std::mutex> lock(linesMutex_);
    std::vector<StateLine> taken;
    taken.swap(lines_);
    return taken;
}

void OutputSet::beginFinish(double waitSeconds)
{
    std::lock_guard<std::mutex> run(runMutex_);
    const auto deadline =
        Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(waitSeconds));
    for (auto& output : outputs_)
        output->beginFinish(deadline);
}

bool OutputSet::finished() const
{
    std::lock_guard<std::mutex> run(runMutex_);
    for (const auto& output : outputs_)
        if (!output->finished())
            return false;
    return true;
}

void OutputSet::stop()
{
    std::lock_guard<std::mutex> run(runMutex_);
    for (auto& output : outputs_)
        output->stop();
}

void OutputSet::clear()
{
    std::lock_guard<std::mutex> run(runMutex_);
    for (auto& output : outputs_)
        output->stop();
    outputs_.clear();
}

}  // namespace nimbra::outputs
