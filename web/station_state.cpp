#include "web/station_state.h"

#include <cmath>
#include <nlohmann/json.hpp>

#include "flight/flight_phase.h"
#include "formats/iso_time.h"

namespace nimbra::web {

namespace {

using Json = nlohmann::ordered_json;

// A number, or null where JSON has none (NaN, infinity).
Json value(double v, int decimals)
{
    if (!std::isfinite(v))
        return nullptr;
    const double scale = std::pow(10.0, decimals);
    return std::round(v * scale) / scale;
}

// The decoder's single-precision figures, widened on purpose.
Json value(float v, int decimals) { return value(double(v), decimals); }

Json channelJson(const ChannelInfo& c)
{
    Json j;
    j["channel"] = c.channel;
    if (c.absolute)
        j["frequency_mhz"] = value(c.frequencyHz / 1e6, 4);
    else
        j["offset_hz"] = value(c.frequencyHz, 0);
    j["deviation_hz"] = value(c.deviationHz, 0);
    j["level_db"] = value(c.levelDb, 1);
    j["ebn0_db"] = value(c.ebN0Db, 1);
    const int blocks = c.goodBlocks + c.badBlocks;
    j["decoded_share"] = blocks > 0 ? value(double(c.goodBlocks) / blocks, 3) : Json(nullptr);
    return j;
}

}  // namespace

void StationState::setEventSink(EventSink sink)
{
    std::lock_guard<std::mutex> lock(mutex_);
    sink_ = std::move(sink);
}

void StationState::emit(const std::string& name, const std::string& json)
{
    if (sink_)
        sink_(name, json);
}

void StationState::setStation(double lat, double lon, double alt)
{
    std::lock_guard<std::mutex> lock(mutex_);
    stationLat_ = lat;
    stationLon_ = lon;
    stationAlt_ = alt;
}

void StationState::setTileSource(const std::string& url, const std::string& attribution)
{
    std::lock_guard<std::mutex> lock(mutex_);
    tileUrl_ = url;
    tileAttribution_ = attribution;
}

void StationState::addFix(const FlightFix& fix, const std::string& serial)
{
    std::lock_guard<std::mutex> lock(mutex_);
    Sonde& s = sondes_[serial];
    s.serial = serial;
    s.heard = std::chrono::steady_clock::now();
    s.heardMs = fix.record.timeMs;
    if (!clockSet_ || fix.record.timeMs > newestMs_) {
        clockSet_ = true;
        newestMs_ = fix.record.timeMs;
        newestAt_ = s.heard;
    }
    s.channel = fix.channel;
    ++s.fixes;
    if (!fix.trusted && s.fixes > 1 && s.last.trusted)
        return;  // an untrusted fix never moves a sonde the flight has placed
    s.last = fix;
    if (fix.trusted) {
        s.track.emplace_back(double(fix.record.latitude), double(fix.record.longitude));
        if (s.track.size() > kTrackPoints)
            s.track.pop_front();
    }
    Json j;
    j["serial"] = serial;
    j["lat"] = value(fix.record.latitude, 6);
    j["lon"] = value(fix.record.longitude, 6);
    j["alt"] = value(fix.record.altitude, 1);
    j["trusted"] = fix.trusted;
    j["time"] = formats::formatIsoTime(fix.record.timeMs);
    if (fix.prediction.valid) {
        j["pred_lat"] = value(fix.prediction.landing.latitude, 6);
        j["pred_lon"] = value(fix.prediction.landing.longitude, 6);
        Json path = Json::array();
        for (const PredictedPoint& p : fix.prediction.path)
            path.push_back({value(p.latitude, 5), value(p.longitude, 5)});
        j["pred_path"] = path;
    }
    emit("fix", j.dump());
}

void StationState::setChannels(const std::vector<ChannelInfo>& channels)
{
    std::lock_guard<std::mutex> lock(mutex_);
    channels_ = channels;
}

void StationState::setSpectrum(const SpectrumInfo& spectrum)
{
    std::lock_guard<std::mutex> lock(mutex_);
    spectrum_ = spectrum;
    Json j;
    j["centre_hz"] = spectrum.centreHz;
    j["span_hz"] = spectrum.spanHz;
    j["band_low_hz"] = spectrum.bandLowHz;
    j["band_high_hz"] = spectrum.bandHighHz;
    Json power = Json::array(), floor = Json::array();
    for (float v : spectrum.powerDb)
        power.push_back(value(double(v), 1));
    for (float v : spectrum.floorDb)
        floor.push_back(value(double(v), 1));
    j["power_db"] = power;
    j["floor_db"] = floor;
    Json marks = Json::array();
    for (const ChannelInfo& c : channels_)
        marks.push_back(channelJson(c));
    j["channels"] = marks;
    emit("spectrum", j.dump());
}

void StationState::setDevice(const DeviceInfo& device)
{
    std::lock_guard<std::mutex> lock(mutex_);
    device_ = device;
}

void StationState::setInput(const InputReport& report)
{
    setDevice(report.device);
    setChannels(report.channels);
    if (report.hasSpectrum)
        setSpectrum(report.spectrum);
}

void StationState::setOutputs(const std::vector<OutputInfo>& outputs)
{
    std::lock_guard<std::mutex> lock(mutex_);
    outputs_ = outputs;
}

void StationState::log(const std::string& line)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const std::string stamped = formats::formatIsoTime(
                                    std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::system_clock::now().time_since_epoch())
                                        .count())
                                    .substr(11, 8) +
                                " " + line;
    log_.push_back(stamped);
    if (log_.size() > kLogLines)
        log_.pop_front();
    emit("log", Json(stamped).dump());
}

void StationState::tick()
{
    std::lock_guard<std::mutex> lock(mutex_);
    // The station's clock: the newest fix's time stamp, going on with the wall clock after it.
    // Live that is the wall clock; a recording decoded faster than real time (with its start
    // time given) forgets its sondes on its own time, as a station running that long would.
    const auto now = std::chrono::steady_clock::now();
    const double clockMs =
        double(newestMs_) + std::chrono::duration<double, std::milli>(now - newestAt_).count();
    for (auto it = sondes_.begin(); it != sondes_.end();)
        it = clockMs - double(it->second.heardMs) > kForgetS * 1000.0 ? sondes_.erase(it) : std::next(it);
    std::string sondes = sondesJsonLocked();
    if (sondes != lastSondes_) {
        lastSondes_ = sondes;
        emit("sondes", sondes);
    }
    std::string status = statusJsonLocked();
    if (status != lastStatus_) {
        lastStatus_ = status;
        emit("status", status);
    }
}

std::string StationState::sondesJson() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return sondesJsonLocked();
}

std::string StationState::statusJson() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return statusJsonLocked();
}

std::string StationState::sondesJsonLocked() const
{
    const auto now = std::chrono::steady_clock::now();
    Json list = Json::array();
    for (const auto& [serial, s] : sondes_) {
        const FixRecord& r = s.last.record;
        Json j;
        j["serial"] = serial;
        j["channel"] = s.channel;
        if (std::isfinite(s.last.frequencyHz))
            j["frequency_mhz"] = value(s.last.frequencyHz / 1e6, 4);
        if (std::isfinite(s.last.offsetHz))
            j["offset_hz"] = value(s.last.offsetHz, 0);
        j["time"] = formats::formatIsoTime(r.timeMs);
        j["age_s"] = value(std::chrono::duration<double>(now - s.heard).count(), 0);
        j["lat"] = value(r.latitude, 6);
        j["lon"] = value(r.longitude, 6);
        j["alt"] = value(r.altitude, 1);
        j["trusted"] = s.last.trusted;
        j["phase"] = flight::phaseName(s.last.phase);
        j["ascent_mps"] = value(r.ascent, 1);
        j["speed_kmh"] = value(double(r.velocity) * 3.6, 1);
        j["heading"] = value(r.direction, 0);
        j["azimuth"] = value(r.azimuth, 1);
        j["elevation"] = value(r.elevation, 1);
        j["range_km"] = value(r.range, 2);
        j["ebn0_db"] = value(r.ebN0Db, 1);
        j["decoded_share"] = nullptr;
        for (const ChannelInfo& c : channels_)
            if (c.channel == s.channel && s.channel != 0) {
                const int blocks = c.goodBlocks + c.badBlocks;
                if (blocks > 0)
                    j["decoded_share"] = value(double(c.goodBlocks) / blocks, 3);
                if (!std::isfinite(r.ebN0Db))
                    j["ebn0_db"] = value(c.ebN0Db, 1);
            }
        const LandingPrediction& p = s.last.prediction;
        j["pred_lat"] = p.valid ? value(p.landing.latitude, 6) : Json(nullptr);
        j["pred_lon"] = p.valid ? value(p.landing.longitude, 6) : Json(nullptr);
        j["pred_time"] = p.valid ? Json(formats::formatIsoTime(p.landing.timeMs)) : Json(nullptr);
        list.push_back(j);
    }
    return list.dump();
}

std::string StationState::statusJsonLocked() const
{
    Json j;
    j["device"] = {{"name", device_.name},
                   {"state", device_.state},
                   {"problem", device_.problem},
                   {"samples", device_.samples},
                   {"lost", device_.lost},
                   {"reconnects", device_.reconnects}};
    j["band"] = {{"low_hz", spectrum_.bandLowHz},
                 {"high_hz", spectrum_.bandHighHz},
                 {"tuned_hz", spectrum_.centreHz},
                 {"span_hz", spectrum_.spanHz}};
    Json outputs = Json::array();
    for (const OutputInfo& o : outputs_)
        outputs.push_back({{"name", o.name}, {"state", o.state}, {"problem", o.problem}});
    j["outputs"] = outputs;
    Json channels = Json::array();
    for (const ChannelInfo& c : channels_)
        channels.push_back(channelJson(c));
    j["channels"] = channels;
    int fixes = 0;
    for (const auto& [serial, s] : sondes_)
        fixes += s.fixes;
    j["counters"] = {{"sondes", sondes_.size()},
                     {"fixes", fixes},
                     {"uptime_s", value(std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count(), 0)}};
    j["station"] = {{"lat", stationLat_}, {"lon", stationLon_}, {"alt", stationAlt_}};
    return j.dump();
}

std::string StationState::snapshotJson() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    Json j;
    j["sondes"] = Json::parse(sondesJsonLocked());
    j["status"] = Json::parse(statusJsonLocked());
    Json tracks = Json::object();
    for (const auto& [serial, s] : sondes_) {
        Json t = Json::array();
        for (const auto& [lat, lon] : s.track)
            t.push_back({value(lat, 6), value(lon, 6)});
        tracks[serial] = t;
    }
    j["tracks"] = tracks;
    Json paths = Json::object();
    for (const auto& [serial, s] : sondes_) {
        Json p = Json::array();
        for (const PredictedPoint& q : s.last.prediction.path)
            p.push_back({value(q.latitude, 5), value(q.longitude, 5)});
        paths[serial] = p;
    }
    j["pred_paths"] = paths;
    Json log = Json::array();
    for (const std::string& line : log_)
        log.push_back(line);
    j["log"] = log;
    j["tiles"] = {{"url", tileUrl_}, {"attribution", tileAttribution_}};
    return j.dump();
}

}  // namespace nimbra::web
