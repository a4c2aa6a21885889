// SondeHubOutput: uploads the telemetry of every fix to the SondeHub network (or a server that
// speaks its format), through the disk spool, and announces the station's position.
//
// In:  fixes through accept() on the decoding thread: the telemetry object is made there and
//      appended to the spool's journal (synced to disk) before accept() returns; nothing waits
//      on the network.
// Out: batches (a JSON array, gzip, PUT) every `interval` seconds from the worker thread, oldest
//      first. 2xx: the batch is done. 5xx or no answer: the batch is tried again after a back-off
//      (a third of the interval, doubling up to eight intervals, at most 5 s and 120 s). 4xx: the
//      batch is done without a retry and the server's text is reported once. The station's
//      position goes to the listener endpoint at the start and every hour (a position the user
//      gave, or the GPS's). A chase car (`chase`, with a GPS) goes there as mobile as
//      chase_car_schedule.h says. When the run finishes, what waits is sent at once until the
//      deadline; what is still undelivered then stays in the spool for the next run.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

#include "outputs/chase_car_schedule.h"
#include "outputs/http_put.h"
#include "outputs/output.h"
#include "outputs/output_config.h"
#include "outputs/sondehub_spool.h"
#include "outputs/sondehub_telemetry.h"

namespace nimbra::outputs {

struct SondeHubSettings {
    std::string url = kDefaultTelemetryUrl;
    Uploader uploader;
    PositionSource livePosition;  // the station's GPS, when it has one
    bool chase = false;           // the car to the listeners endpoint as mobile
    SondeIdentity identity;
    double intervalS = 15.0;
    SondeHubSpool::Settings spool;
};

class SondeHubOutput : public OutputWorker {
public:
    static constexpr std::size_t kBatchObjects = 500;
    static constexpr std::size_t kBatchBytes = 512 * 1024;

    // Opens the spool; nullptr with `error` when it cannot be used.
    static std::unique_ptr<SondeHubOutput> create(const SondeHubSettings& settings, StateSink sink, std::string& error);
    ~SondeHubOutput() override;

    void accept(const FlightFix& fix, const FixContext& context) override;
    // Chase-car positions the server took.
    std::uint64_t chaseUploads() const { return chaseUploads_.load(); }

private:
    SondeHubOutput(const SondeHubSettings& settings, StateSink sink);

    void run() override;
    void wake() override;
    std::uint64_t waitingCount() const override { return spool_.waiting(); }
    std::uint64_t droppedCount() const override { return spool_.dropped(); }

    // Sends one batch; false when it failed and waits for a retry.
    bool sendBatch();
    void announceStation();
    void announceChaseCar();
    Uploader uploaderNow() const;
    void waitUntil(Clock::time_point t);
    std::string answerText(const HttpAnswer& answer) const;

    const SondeHubSettings settings_;
    const std::string listenerUrl_;
    SondeHubSpool spool_;
    HttpPut http_;
    std::mutex wakeMutex_;
    std::condition_variable wakeUp_;
    bool woken_ = false;
    std::string spoolError_;       // to report; under wakeMutex_
    std::string lastSpoolError_;   // the last one reported; under wakeMutex_
    std::string lastRefusal_;      // worker only
    int failures_ = 0;             // worker only: consecutive failed attempts
    Clock::time_point nextListener_;
    ChaseCarSchedule chaseSchedule_;  // worker only
    std::atomic<std::uint64_t> chaseUploads_{0};
};

}  // namespace nimbra::outputs
