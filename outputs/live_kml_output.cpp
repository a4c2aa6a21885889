#include "outputs/live_kml_output.h"

#include "formats/pending_file.h"

namespace nimbra::outputs {

std::unique_ptr<LiveKmlOutput> LiveKmlOutput::create(const std::string& path, const formats::Station& station,
                                                     std::size_t capacity, StateSink sink, std::string& error)
{
    const std::string linkPath = linkPathFor(path);
    const std::size_t slash = path.rfind('/');
    const std::string href = slash == std::string::npos ? path : path.substr(slash + 1);
    formats::PendingFile link;
    formats::PendingFile data;
    // Both files are tried now, so that an unwritable folder is reported before anything is decoded.
    if (!link.open(linkPath, error) || !link.commit(networkLinkDocument(href, kRewriteSeconds), error) ||
        !data.open(path, error))
        return nullptr;
    std::unique_ptr<LiveKmlOutput> out(new LiveKmlOutput(path, station, capacity, std::move(sink)));
    out->start();
    return out;
}

LiveKmlOutput::LiveKmlOutput(std::string path, const formats::Station& station, std::size_t capacity, StateSink sink)
    : OutputWorker("live KML", std::move(sink)), path_(std::move(path)), station_(station), queue_(capacity)
{
}

LiveKmlOutput::~LiveKmlOutput() { stop(); }

void LiveKmlOutput::accept(const FlightFix& fix, const FixContext& context)
{
    const FixRecord& r = fix.record;
    const bool descending = fix.phase == FlightPhase::Descent || fix.phase == FlightPhase::Landed ||
                            (fix.phase == FlightPhase::Unknown && r.ascent < 0.0f);
    LandingPrediction landing;
    landing.valid = fix.prediction.valid;
    landing.landing = fix.prediction.landing;
    queue_.push(Item{context.serial, LivePoint{r.latitude, r.longitude, r.altitude, r.timeMs}, descending, landing});
}

void LiveKmlOutput::addPoint(std::vector<LiveTrack>& tracks, const std::string& serial, const LivePoint& point,
                             bool descending, const LandingPrediction& prediction)
{
    LiveTrack* track = nullptr;
    for (LiveTrack& t : tracks)
        if (t.serial == serial)
            track = &t;
    if (!track) {
        if (tracks.size() >= kMaxTracks) {
            auto oldest = tracks.begin();
            for (auto it = tracks.begin(); it != tracks.end(); ++it)
                if (it->points.back().timeMs < oldest->points.back().timeMs)
                    oldest = it;
            tracks.erase(oldest);
        }
        tracks.push_back(LiveTrack{serial, {}, false, {}});
        track = &tracks.back();
    }
    track->points.push_back(point);
    track->descending = descending;
    track->prediction = prediction;
    if (track->points.size() > kMaxPoints) {
        std::vector<LivePoint> thinned;
        thinned.reserve(kMaxPoints / 2 + 2);
        for (std::size_t i = 0; i + 1 < track->points.size(); i += 2)
            thinned.push_back(track->points[i]);
        thinned.push_back(track->points.back());
        track->points.swap(thinned);
    }
}

void LiveKmlOutput::write()
{
    std::string error;
    formats::PendingFile file;
    if (!file.open(path_, error) || !file.commit(liveKmlDocument(tracks_, station_), error)) {
        setState("cannot write (" + error + ")", true);
        return;
    }
    sent_ += unwritten_.exchange(0);
    setState("writing " + path_, false);
}

void LiveKmlOutput::run()
{
    Clock::time_point nextWrite = Clock::now();
    for (;;) {
        // Read before the queue is drained: every fix queued before the finish is then drained.
        const bool stopNow = finishing();
        while (auto item = queue_.tryPop()) {
            addPoint(tracks_, item->serial, item->point, item->descending, item->prediction);
            ++unwritten_;
        }
        if (stopNow) {
            // The last state of the flight, however soon after the previous rewrite.
            if (unwritten_ > 0)
                write();
            return;
        }
        if (unwritten_ > 0 && Clock::now() >= nextWrite) {
            write();
            nextWrite = Clock::now() + std::chrono::seconds(kRewriteSeconds);
        }
        queue_.waitUntil(unwritten_ > 0 ? nextWrite : Clock::now() + std::chrono::seconds(kRewriteSeconds));
    }
}

}  // namespace nimbra::outputs
