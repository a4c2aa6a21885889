// DeviceRunner: a radio kept running on a thread of its own: opened, read, and opened again
// with a back-off whenever it fails (a dongle pulled from USB, an rtl_tcp server that closes or
// is not there yet, a stream error), so that the station never ends because of its radio.
//
// In:  the device and its settings; retune requests from the decoding thread.
// Out: chunks of samples for the decoding thread, in order, each saying whether samples were
//      lost before it (the radio dropped some, it was gone, or the decoder fell behind the
//      bounded queue: the oldest chunks are dropped then) and which frequency it was tuned to;
//      the device's state (connected, reconnecting, samples lost) for notes and the page.
//
// Back-off between attempts: 0.5 s, doubling to kMaxBackoffS. Reading never waits on the
// decoding thread; the decoding thread waits on the queue at most as long as it asks.
#pragma once

#include <atomic>
#include <complex>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sdr/sdr_device.h"

namespace nimbra::sdr {

struct SampleChunk {
    std::vector<std::complex<float>> samples;
    bool gapBefore = false;       // these samples do not continue the previous chunk's
    std::uint64_t lostBefore = 0; // samples known lost in that gap (0: unknown)
    double tunedHz = 0.0;
};

struct DeviceStatus {
    enum class State { Connecting, Running, Reconnecting, Stopped };
    State state = State::Connecting;
    std::string device;
    std::string problem;          // the last failure, "" while running
    double tunedHz = 0.0;
    std::uint64_t samples = 0;    // delivered
    std::uint64_t lost = 0;       // known lost (overflows, a full queue)
    int overflows = 0;
    int reconnects = 0;           // times the device was opened again after a failure
    double nextAttemptS = 0.0;    // seconds until the next attempt, while reconnecting
};

const char* stateName(DeviceStatus::State state);

class DeviceRunner {
public:
    static constexpr double kMaxBackoffS = 2.0;
    using NoteSink = std::function<void(const std::string&)>;  // called on the device thread

    DeviceRunner(std::unique_ptr<SdrDevice> device, const SdrSettings& settings, double queueSeconds = 2.0);
    ~DeviceRunner();
    DeviceRunner(const DeviceRunner&) = delete;
    DeviceRunner& operator=(const DeviceRunner&) = delete;

    void setNoteSink(NoteSink sink) { notes_ = std::move(sink); }
    void start();
    void stop();

    // The next chunk, waiting up to `timeoutMs`; false when none came (or after stop()).
    bool pop(SampleChunk& chunk, int timeoutMs);
    // Tunes the radio here; the chunks after it carry the new frequency and a gap before them.
    void retune(double frequencyHz);
    DeviceStatus status() const;
    const SdrSettings& settings() const { return settings_; }

private:
    void run();
    void note(const std::string& text);
    void push(std::vector<std::complex<float>>&& samples, bool gap, std::uint64_t lost);
    bool sleepFor(double seconds);

    std::unique_ptr<SdrDevice> device_;
    SdrSettings settings_;
    std::size_t maxQueued_;  // samples
    NoteSink notes_;

    mutable std::mutex mutex_;
    std::condition_variable ready_;   // a chunk was pushed, or stop
    std::condition_variable wake_;    // the device thread's sleeps end early on stop
    std::deque<SampleChunk> queue_;   // guarded
    std::size_t queued_ = 0;          // samples in queue_
    bool gapPending_ = false;         // the next chunk comes after a gap
    std::uint64_t lostPending_ = 0;
    DeviceStatus status_;             // guarded
    double retuneTo_ = 0.0;           // guarded; 0: none asked
    bool stopping_ = false;           // guarded
    std::thread thread_;
};

}  // namespace nimbra::sdr
