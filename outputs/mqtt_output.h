// MqttOutput: every fix to an MQTT broker through libmosquitto, as the JSON object that
// `nimbra-decode --format jsonl` prints for it (without the line feed), with QoS 1 to
// PREFIX/STATION/SERIAL/fix and, retained, to PREFIX/STATION/SERIAL/last.
//
// In:  fixes through accept() (decoding thread): the message is made there and queued.
// Out: publications from the worker thread, in order. A fix leaves the queue when the broker has
//      acknowledged both of its messages. When the broker goes away the worker reconnects (after
//      0.5 s, doubling up to 5 s) with a fresh session and publishes again, in order, everything
//      not acknowledged; the bounded queue keeps the fixes meanwhile (the oldest are dropped and
//      counted when it is full). A message whose acknowledgement was lost with the connection
//      can reach subscribers twice, as QoS 1 allows.
#pragma once

#include <deque>
#include <string>

#include "outputs/addresses.h"
#include "outputs/bounded_queue.h"
#include "outputs/output.h"

struct mosquitto;

namespace nimbra::outputs {

class MqttOutput : public OutputWorker {
public:
    static constexpr std::size_t kWindow = 20;  // fixes published and not yet acknowledged

    MqttOutput(MqttAddress address, std::string stationName, std::size_t capacity, StateSink sink);
    ~MqttOutput() override;

    void accept(const FlightFix& fix, const FixContext& context) override;

    // PREFIX/STATION/SERIAL/fix and .../last
    static std::string topic(const MqttAddress& address, const std::string& station, const std::string& serial,
                             const char* leaf);

private:
    struct Message {
        std::string serial;
        std::string payload;
    };
    struct InFlight {
        Message message;
        int fixMid = -1, lastMid = -1;  // -1 once acknowledged
    };

    void run() override;
    void wake() override { queue_.wake(); }
    std::uint64_t waitingCount() const override { return queue_.size() + inFlightCount_.load(); }
    std::uint64_t droppedCount() const override { return queue_.dropped(); }

    void connect();
    // After mosquitto_loop(): acts on what the callbacks recorded (they never touch the client).
    void afterLoop();
    void dropConnection(const std::string& why);
    void publishWaiting();
    bool publish(InFlight& f);
    void acknowledged(int mid);

    static void onConnect(mosquitto*, void* self, int rc);
    static void onPublish(mosquitto*, void* self, int mid);

    const MqttAddress address_;
    const std::string station_;
    BoundedQueue<Message> queue_;
    std::atomic<std::uint64_t> inFlightCount_{0};
    // Worker thread only.
    mosquitto* client_ = nullptr;
    bool connected_ = false;
    int connackRc_ = -1;  // set by onConnect: -1 none yet
    std::deque<InFlight> inFlight_;
    int failures_ = 0;
    Clock::time_point nextAttempt_;
    Clock::time_point connectStarted_;
};

}  // namespace nimbra::outputs
