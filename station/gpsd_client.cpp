#include "station/gpsd_client.h"

#include <gps.h>
#include <pthread.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>

namespace nimbra::station {

namespace {

constexpr int kWaitUs = 500000;       // between looks at the stop flag
constexpr double kNoFixAfterS = 3.0;  // connected, but no fix for this long: say so

double steadyNow()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace

const char* stateName(GpsdClient::State state)
{
    switch (state) {
    case GpsdClient::State::Connecting:
        return "connecting";
    case GpsdClient::State::NoFix:
        return "no fix";
    case GpsdClient::State::Fix:
        return "fix";
    case GpsdClient::State::Gone:
        return "gone";
    }
    return "";
}

bool parseGpsdAddress(const std::string& text, GpsdAddress& a, std::string& error)
{
    if (text.compare(0, 4, "gpsd") != 0 || (text.size() > 4 && text[4] != ':')) {
        error = "expected gpsd, gpsd:HOST, gpsd:HOST:PORT or LAT,LON,ALT, got '" + text + "'";
        return false;
    }
    a = GpsdAddress();
    if (text.size() <= 5)
        return text.size() == 4 || (error = "expected a host after gpsd:, got '" + text + "'", false);
    const std::string rest = text.substr(5);
    const auto colon = rest.rfind(':');
    if (colon == std::string::npos) {
        a.host = rest;
    } else {
        a.host = rest.substr(0, colon);
        char* end = nullptr;
        const long port = std::strtol(rest.c_str() + colon + 1, &end, 10);
        if (colon + 1 >= rest.size() || *end != '\0' || port < 1 || port > 65535) {
            error = "gpsd: the port must be a number from 1 to 65535, got '" + text + "'";
            return false;
        }
        a.port = static_cast<int>(port);
    }
    if (a.host.empty()) {
        error = "expected a host after gpsd:, got '" + text + "'";
        return false;
    }
    return true;
}

GpsdClient::GpsdClient(GpsdAddress address) : address_(std::move(address)) {}

GpsdClient::~GpsdClient() { stop(); }

void GpsdClient::start()
{
    if (!thread_.joinable())
        thread_ = std::thread([this] { run(); });
}

void GpsdClient::stop()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

std::optional<StationFix> GpsdClient::position() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return filter_.last();
}

int GpsdClient::rejected() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return filter_.rejected();
}

std::string GpsdClient::describe() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return "gpsd " + address_.host + ":" + std::to_string(address_.port) + ": " + stateName(state_.load()) +
           (detail_.empty() ? "" : " (" + detail_ + ")");
}

void GpsdClient::setState(State s, const std::string& detail)
{
    bool changed;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        changed = state_.load() != s || detail_ != detail;
        state_ = s;
        detail_ = detail;
    }
    if (!changed || !notes_)
        return;
    const std::string where = "gpsd " + address_.host + ":" + std::to_string(address_.port);
    const bool kept = filter_.last().has_value();
    switch (s) {
    case State::Fix:
        notes_(where + ": fix", false);
        break;
    case State::NoFix:
        notes_(where + ": the GPS has no fix" + (kept ? "; keeping the last good position" : ""), true);
        break;
    case State::Gone:
        notes_(where + ": " + detail + (kept ? "; keeping the last good position" : "") + "; reconnecting", true);
        break;
    case State::Connecting:
        break;
    }
}

bool GpsdClient::sleepFor(double seconds)
{
    std::unique_lock<std::mutex> lock(mutex_);
    return !wake_.wait_for(lock, std::chrono::duration<double>(seconds), [this] { return stopping_; });
}

void GpsdClient::run()
{
    // libgps writes its requests with plain write(): to a gpsd that has just closed the
    // connection that raises SIGPIPE, which would end the whole program. Blocked on this thread
    // the write fails with EPIPE instead and the read that follows reconnects.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    double backoff = 0.5;
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stopping_)
                return;
        }
        gps_data_t data{};
        if (gps_open(address_.host.c_str(), std::to_string(address_.port).c_str(), &data) != 0) {
            setState(State::Gone, std::string("cannot connect: ") + gps_errstr(errno));
            if (!sleepFor(backoff))
                return;
            backoff = std::min(5.0, backoff * 2.0);
            continue;
        }
        gps_stream(&data, WATCH_ENABLE | WATCH_JSON, nullptr);
        backoff = 0.5;
        double lastFix = steadyNow();
        bool open = true;
        while (open) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (stopping_)
                    break;
            }
            if (!gps_waiting(&data, kWaitUs)) {
                if (steadyNow() - lastFix > kNoFixAfterS)
                    setState(State::NoFix, "");
                continue;
            }
            if (gps_read(&data, nullptr, 0) < 0) {
                setState(State::Gone, "the connection was lost");
                open = false;
                break;
            }
            const bool fix = (data.set & MODE_SET) && data.fix.mode >= MODE_2D && std::isfinite(data.fix.latitude) &&
                             std::isfinite(data.fix.longitude) && (data.set & LATLON_SET);
            if (!fix) {
                if (steadyNow() - lastFix > kNoFixAfterS)
                    setState(State::NoFix, "");
                continue;
            }
            StationFix f;
            f.latitude = data.fix.latitude;
            f.longitude = data.fix.longitude;
            f.altitudeKnown = data.fix.mode >= MODE_3D && std::isfinite(data.fix.altMSL);
            f.altitude = f.altitudeKnown ? data.fix.altMSL : 0.0;
            f.speedMps = std::isfinite(data.fix.speed) ? data.fix.speed : 0.0;
            f.timeS = steadyNow();
            bool taken;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                // A 2D fix keeps the altitude of the last 3D one.
                if (!f.altitudeKnown && filter_.last() && filter_.last()->altitudeKnown) {
                    f.altitude = filter_.last()->altitude;
                    f.altitudeKnown = true;
                }
                taken = filter_.accept(f);
            }
            if (taken) {
                lastFix = f.timeS;
                setState(State::Fix, "");
            }
        }
        gps_stream(&data, WATCH_DISABLE, nullptr);
        gps_close(&data);
    }
}

}  // namespace nimbra::station
