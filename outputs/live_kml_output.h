// LiveKmlOutput: a KML file that follows the flight, for Google Earth.
//
// In:  fixes through accept() (decoding thread): position, serial, ascending or descending, the
//      predicted landing, queued.
// Out: FILE rewritten by the worker thread at most every 5 s (a temporary file renamed over it,
//      so a reader never sees half a file), and FILE-link.kml, written once at the start: a
//      NetworkLink that reloads FILE every 5 s. Memory stays bounded on a station that runs for
//      days: at most 4 sondes (the most recent) of at most 4,000 points each; a longer track
//      keeps every other point, so the whole flight stays in the picture.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "outputs/bounded_queue.h"
#include "outputs/live_kml_document.h"
#include "outputs/output.h"

namespace nimbra::outputs {

class LiveKmlOutput : public OutputWorker {
public:
    static constexpr int kRewriteSeconds = 5;
    static constexpr std::size_t kMaxPoints = 4000;
    static constexpr std::size_t kMaxTracks = 4;

    // Writes the link file; nullptr with `error` when it cannot be written.
    static std::unique_ptr<LiveKmlOutput> create(const std::string& path, const formats::Station& station,
                                                 std::size_t capacity, StateSink sink, std::string& error);
    ~LiveKmlOutput() override;

    void accept(const FlightFix& fix, const FixContext& context) override;

    // Adds a point to `tracks` with the bounds above (also used by the tests).
    static void addPoint(std::vector<LiveTrack>& tracks, const std::string& serial, const LivePoint& point,
                         bool descending, const LandingPrediction& prediction);

private:
    struct Item {
        std::string serial;
        LivePoint point;
        bool descending;
        LandingPrediction prediction;
    };

    LiveKmlOutput(std::string path, const formats::Station& station, std::size_t capacity, StateSink sink);

    void run() override;
    void wake() override { queue_.wake(); }
    std::uint64_t waitingCount() const override { return queue_.size() + unwritten_.load(); }
    std::uint64_t droppedCount() const override { return queue_.dropped(); }

    void write();

    const std::string path_;
    const formats::Station station_;
    BoundedQueue<Item> queue_;
    std::atomic<std::uint64_t> unwritten_{0};  // fixes taken from the queue, not in the file yet
    std::vector<LiveTrack> tracks_;            // worker thread only
};

}  // namespace nimbra::outputs
