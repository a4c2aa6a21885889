// SondeHubSpool: the disk spool that makes the SondeHub upload lose nothing and send nothing
// twice, across network outages, crashes, kill -9 and reboots.
//
// Files in the spool folder:
//   journal.jsonl  every telemetry object, one JSON line each, appended and synced to disk
//                  before it is queued for upload;
//   done.log       "FRAME<TAB>SERIAL" of each object that needs no upload any more (the server
//                  answered 2xx, refused it with 4xx, or the spool was full and it was dropped),
//                  appended and synced after the server's answer;
//   lock           held (flock) while a run uses the folder.
// An object is waiting while its frame and serial are in the journal and not in done.log; the
// next run sends what an earlier one left waiting, oldest first. A frame and serial already
// journaled (waiting, or among the last 30,000 done) are not journaled again, so decoding the
// same part of a flight twice uploads it once. When done objects take most of the journal it is
// rewritten without them; done.log then keeps the last 30,000 entries.
//
// The spool is bounded (default 100 MB of waiting objects): past that the oldest waiting object
// is dropped and counted. Memory holds an index of the waiting objects (about 80 bytes each with
// the duplicate check), never the objects themselves.
//
// Threads: append() on the decoding thread; nextBatch(), complete() and compact() on the
// upload worker; one lock, never held while the network is used.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

namespace nimbra::outputs {

class SondeHubSpool {
public:
    static constexpr std::uint64_t kDefaultMaxBytes = 100ull << 20;
    static constexpr std::size_t kRememberedDone = 30000;

    struct Settings {
        std::string folder;
        std::uint64_t maxBytes = kDefaultMaxBytes;  // waiting objects, bytes of JSON
        std::size_t rememberedDone = kRememberedDone;
        std::uint64_t compactMinBytes = 1u << 20;  // done bytes before the journal is rewritten
    };

    SondeHubSpool() = default;
    ~SondeHubSpool();
    SondeHubSpool(const SondeHubSpool&) = delete;
    SondeHubSpool& operator=(const SondeHubSpool&) = delete;

    // Creates the folder if needed, takes its lock and reads what an earlier run left.
    bool open(const Settings& settings, std::string& error);

    enum class Appended { Added, Duplicate, Failed };
    // Appends one object (a JSON line without its line feed) and syncs it to disk.
    Appended append(const std::string& serial, unsigned frame, const std::string& object, std::string& error);

    struct Batch {
        std::uint64_t firstSeq = 0;
        std::size_t count = 0;
        std::string body;  // JSON array of the objects
    };
    // The oldest waiting objects, at most `maxObjects` and about `maxBytes` of JSON; count 0 when
    // nothing waits. The batch stays waiting until complete().
    Batch nextBatch(std::size_t maxObjects, std::size_t maxBytes);

    enum class Outcome { Delivered, Refused, Failed };
    // Delivered and Refused mark the batch done (synced to disk; false with `error` when that
    // fails). Failed leaves it waiting; `firstFailures` counts its objects that failed for the
    // first time.
    bool complete(const Batch& batch, Outcome outcome, std::size_t& firstFailures, std::string& error);

    // Rewrites the journal without its done objects once they make up most of it (and at least
    // compactMinBytes).
    bool compact(std::string& error);

    std::size_t waiting() const;
    std::uint64_t dropped() const;
    std::size_t recovered() const { return recovered_; }  // waiting when the spool was opened
    std::size_t damagedLines() const { return damaged_; }  // unreadable journal lines skipped
    const std::string& folder() const { return settings_.folder; }

private:
    // 40 bytes: the index of a full 100 MB spool (about 250,000 objects) stays near 20 MB with
    // the duplicate keys.
    struct Entry {
        std::uint64_t seq;
        std::uint64_t offset;   // in the journal
        std::uint64_t key;
        std::uint32_t length;   // with the line feed
        std::uint32_t frame;
        std::uint32_t serial;   // index into serials_
        bool tried;
    };

    bool load(std::string& error);
    bool writeAll(int fd, const std::string& text);
    bool syncFolder();
    void remember(std::uint64_t key, std::string doneLine);
    std::uint32_t serialIndex(const std::string& serial);
    std::string doneLineOf(const Entry& e) const;
    // Removes the oldest waiting entry not in flight; its done line goes to `doneLines`.
    void dropOldest(std::string& doneLines);
    std::string path(const char* name) const;

    Settings settings_;
    mutable std::mutex mutex_;
    int lockFd_ = -1;
    int journalFd_ = -1;
    int doneFd_ = -1;
    std::uint64_t journalEnd_ = 0;
    std::uint64_t waitingBytes_ = 0;
    std::deque<Entry> waiting_;
    std::vector<std::string> serials_;  // the serials of the waiting objects (a sonde or a few a day)
    std::unordered_set<std::uint64_t> known_;                    // waiting and remembered done
    std::deque<std::pair<std::uint64_t, std::string>> done_;     // remembered done, oldest first
    std::uint64_t nextSeq_ = 1;
    std::uint64_t inflightFirst_ = 0, inflightEnd_ = 0;          // seq range being uploaded
    std::uint64_t dropped_ = 0;
    std::size_t recovered_ = 0;
    std::size_t damaged_ = 0;
};

}  // namespace nimbra::outputs
