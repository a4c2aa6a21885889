#include "outputs/mqtt_output.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mosquitto.h>
#include <mutex>

#include "formats/fix_format.h"

namespace nimbra::outputs {

namespace {

constexpr int kKeepAliveS = 30;
constexpr auto kConnectTimeout = std::chrono::seconds(10);

std::string reason(int rc)
{
    if (rc == MOSQ_ERR_ERRNO)
        return std::strerror(errno);
    return mosquitto_strerror(rc);
}

}  // namespace

MqttOutput::MqttOutput(MqttAddress address, std::string stationName, std::size_t capacity, StateSink sink)
    : OutputWorker("MQTT", std::move(sink)), address_(std::move(address)), station_(std::move(stationName)),
      queue_(capacity)
{
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
    start();
}

MqttOutput::~MqttOutput() { stop(); }

std::string MqttOutput::topic(const MqttAddress& address, const std::string& station, const std::string& serial,
                              const char* leaf)
{
    return address.prefix + "/" + station + "/" + serial + "/" + leaf;
}

void MqttOutput::accept(const FlightFix& fix, const FixContext& context)
{
    std::string payload = formats::jsonLine(fix);
    while (!payload.empty() && payload.back() == '\n')
        payload.pop_back();
    queue_.push(Message{context.serial, std::move(payload)});
}

void MqttOutput::onConnect(mosquitto*, void* self, int rc) { static_cast<MqttOutput*>(self)->connackRc_ = rc; }

void MqttOutput::afterLoop()
{
    const int rc = connackRc_;
    connackRc_ = -1;
    if (rc > 0) {
        dropConnection(std::string("the broker refuses the connection (") + mosquitto_connack_string(rc) + ")");
        return;
    }
    if (rc == 0 && !connected_) {
        connected_ = true;
        failures_ = 0;
        setState("connected to " + describe(HostPort{address_.host, address_.port}), false);
        // A fresh session: everything not acknowledged on the last one goes out again, in order.
        retried_ += inFlight_.size();
        for (InFlight& f : inFlight_)
            if (!publish(f))
                return;
    }
}

void MqttOutput::onPublish(mosquitto*, void* self, int mid) { static_cast<MqttOutput*>(self)->acknowledged(mid); }

void MqttOutput::acknowledged(int mid)
{
    for (InFlight& f : inFlight_) {
        if (f.fixMid == mid)
            f.fixMid = -1;
        if (f.lastMid == mid)
            f.lastMid = -1;
    }
    while (!inFlight_.empty() && inFlight_.front().fixMid < 0 && inFlight_.front().lastMid < 0) {
        inFlight_.pop_front();
        ++sent_;
    }
    inFlightCount_ = inFlight_.size();
}

bool MqttOutput::publish(InFlight& f)
{
    const std::string fixTopic = topic(address_, station_, f.message.serial, "fix");
    const std::string lastTopic = topic(address_, station_, f.message.serial, "last");
    const int size = static_cast<int>(f.message.payload.size());
    int rc = mosquitto_publish(client_, &f.fixMid, fixTopic.c_str(), size, f.message.payload.data(), 1, false);
    if (rc == MOSQ_ERR_SUCCESS)
        rc = mosquitto_publish(client_, &f.lastMid, lastTopic.c_str(), size, f.message.payload.data(), 1, true);
    if (rc != MOSQ_ERR_SUCCESS) {
        dropConnection("publishing failed (" + reason(rc) + ")");
        return false;
    }
    return true;
}

void MqttOutput::publishWaiting()
{
    while (connected_ && inFlight_.size() < kWindow) {
        auto message = queue_.tryPop();
        if (!message)
            break;
        inFlight_.push_back(InFlight{std::move(*message)});
        inFlightCount_ = inFlight_.size();
        if (!publish(inFlight_.back()))
            break;
    }
}

void MqttOutput::connect()
{
    client_ = mosquitto_new(nullptr, true, this);
    if (!client_) {
        dropConnection("libmosquitto could not make a client");
        return;
    }
    mosquitto_connect_callback_set(client_, onConnect);
    mosquitto_publish_callback_set(client_, onPublish);
    mosquitto_max_inflight_messages_set(client_, 2 * kWindow);
    if (!address_.user.empty())
        mosquitto_username_pw_set(client_, address_.user.c_str(),
                                  address_.password.empty() ? nullptr : address_.password.c_str());
    connectStarted_ = Clock::now();
    connackRc_ = -1;
    const int rc = mosquitto_connect_async(client_, address_.host.c_str(), address_.port, kKeepAliveS);
    if (rc != MOSQ_ERR_SUCCESS)
        dropConnection("cannot connect to " + describe(HostPort{address_.host, address_.port}) + " (" + reason(rc) +
                       ")");
}

void MqttOutput::dropConnection(const std::string& why)
{
    if (client_) {
        mosquitto_destroy(client_);
        client_ = nullptr;
    }
    const bool wasConnected = connected_;
    connected_ = false;
    // Everything not acknowledged stays in order in inFlight_ for the next session.
    for (InFlight& f : inFlight_)
        f.fixMid = f.lastMid = 0;
    ++failures_;
    const double delay = std::min(5.0, 0.5 * double(1 << std::min(failures_ - 1, 4)));
    nextAttempt_ = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(delay));
    setState(why + (wasConnected ? "; reconnecting" : "; retrying"), true);
}

void MqttOutput::run()
{
    setState("connecting to " + describe(HostPort{address_.host, address_.port}), false);
    nextAttempt_ = Clock::now();
    for (;;) {
        if (finishing() && ((queue_.size() == 0 && inFlight_.empty()) || deadlinePassed()))
            break;
        if (!client_) {
            if (Clock::now() < nextAttempt_) {
                queue_.waitForWake(capped(nextAttempt_));
                continue;
            }
            connect();
            continue;
        }
        if (!connected_ && Clock::now() - connectStarted_ > kConnectTimeout) {
            dropConnection("no answer from " + describe(HostPort{address_.host, address_.port}));
            continue;
        }
        publishWaiting();
        if (!client_)
            continue;
        const bool idle = connected_ && queue_.size() == 0 && inFlight_.empty();
        const int rc = mosquitto_loop(client_, idle ? 200 : 20, 1);
        afterLoop();
        if (rc != MOSQ_ERR_SUCCESS && client_) {
            const std::string detail = rc == MOSQ_ERR_CONN_LOST ? std::string() : " (" + reason(rc) + ")";
            dropConnection((connected_ ? "connection lost" : "cannot connect to " + describe(HostPort{address_.host, address_.port})) +
                           detail);
        }
    }
    if (client_) {
        if (connected_) {
            mosquitto_disconnect(client_);
            mosquitto_loop(client_, 50, 1);
        }
        mosquitto_destroy(client_);
        client_ = nullptr;
    }
}

}  // namespace nimbra::outputs
