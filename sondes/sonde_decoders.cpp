#include "sondes/sonde_decoders.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "telemetry/gps_fix.h"

namespace nimbra {

struct SondeDecoders::Sonde {
    std::unique_ptr<Decoder> decoder;
    flight::FlightTracker tracker;
    std::string pendingText;
    std::vector<FlightFix> fresh;
    double offsetHz = std::numeric_limits<double>::quiet_NaN();
    double tunedHz = std::numeric_limits<double>::quiet_NaN();  // when it was made
    std::size_t lastTracked = std::numeric_limits<std::size_t>::max();  // its newest fix in track_
};

SondeDecoders::SondeDecoders(Configure configure, const flight::TrackerSettings& tracking,
                             std::optional<std::int64_t> startTimeMs, bool keepTrack)
    : configure_(std::move(configure)), tracking_(tracking), startTimeMs_(startTimeMs), keepTrack_(keepTrack),
      tunedHz_(std::numeric_limits<double>::quiet_NaN())
{
}

SondeDecoders::~SondeDecoders() = default;

Decoder& SondeDecoders::decoder(int channel) { return *sonde(channel).decoder; }

const Decoder* SondeDecoders::find(int channel) const
{
    const auto it = sondes_.find(channel);
    return it == sondes_.end() ? nullptr : it->second->decoder.get();
}

SondeDecoders::Sonde& SondeDecoders::sonde(int channel)
{
    auto it = sondes_.find(channel);
    if (it != sondes_.end())
        return *it->second;
    auto s = std::make_unique<Sonde>();
    s->tunedHz = tunedHz_;
    s->decoder = std::make_unique<Decoder>();
    if (configure_)
        configure_(*s->decoder);
    if (stationSet_) {
        s->decoder->params.userLat = stationLat_;
        s->decoder->params.userLon = stationLon_;
        s->decoder->params.userAlt = stationAlt_;
    }
    if (startTimeMs_) {
        const std::int64_t start = *startTimeMs_;
        s->decoder->setClock([this, start] { return start + now_ * 1000 / kSampleRate; });
    }
    s->tracker.setSettings(tracking_);
    Sonde* self = s.get();
    if (packetSink_)
        s->decoder->setPacketListener([this, channel](const PacketEvent& e) {
            if (packetSink_)
                packetSink_(channel, e);
        });
    s->decoder->setFixListener([this, self, channel](const FixRecord& r) {
        FlightFix fix = self->tracker.track(r, r.line ? std::string(r.line) : std::string(),
                                            static_cast<double>(r.sampleIndex) / kSampleRate);
        fix.satellites = satellitesInGpsBlock(self->decoder->telemetry.blockLength.load());
        fix.channel = channel;
        fix.offsetHz = self->offsetHz;
        fix.frequencyHz = self->tunedHz + self->offsetHz;
        if (keepTrack_ && fix.trusted) {
            // Only the newest prediction's path of each sonde goes into the track files.
            if (self->lastTracked < track_.size())
                track_[self->lastTracked].prediction.path.clear();
            self->lastTracked = track_.size();
            track_.push_back(fix);
        }
        self->fresh.push_back(std::move(fix));
    });
    return *sondes_.emplace(channel, std::move(s)).first->second;
}

void SondeDecoders::setStation(float latitude, float longitude, float altitude)
{
    stationSet_ = true;
    stationLat_ = latitude;
    stationLon_ = longitude;
    stationAlt_ = altitude;
    for (auto& [channel, s] : sondes_) {
        s->decoder->params.userLat = latitude;
        s->decoder->params.userLon = longitude;
        s->decoder->params.userAlt = altitude;
    }
}

void SondeDecoders::feedBlock(int channel, const DemodBlock& block, std::int64_t period, double offsetHz)
{
    Sonde& s = sonde(channel);
    s.offsetHz = offsetHz;
    now_ = period;
    s.decoder->ProcessBlock(block, period);
    take(s, period);
}

void SondeDecoders::collect(int channel) { take(sonde(channel), now_); }

void SondeDecoders::take(Sonde& s, std::int64_t period)
{
    s.pendingText += s.decoder->decodedDisplayText.takeAll();
    std::size_t start = 0;
    for (std::size_t cr; (cr = s.pendingText.find('\r', start)) != std::string::npos; start = cr + 1) {
        Item item;
        item.period = period;
        item.order = order_++;
        item.line = s.pendingText.substr(start, cr - start);
        pending_.push_back(std::move(item));
    }
    s.pendingText.erase(0, start);
    for (FlightFix& fix : s.fresh) {
        Item item;
        item.period = period;
        item.order = order_++;
        item.isLine = false;
        item.fix = std::move(fix);
        pending_.push_back(std::move(item));
    }
    s.fresh.clear();
}

void SondeDecoders::drop(int channel)
{
    auto it = sondes_.find(channel);
    if (it == sondes_.end())
        return;
    goodGone_ += it->second->decoder->telemetry.goodPackets;
    badGone_ += it->second->decoder->telemetry.badPackets;
    sondes_.erase(it);
}

SondeDecoders::Released SondeDecoders::release(std::int64_t period)
{
    Released out;
    auto ready = std::stable_partition(pending_.begin(), pending_.end(),
                                       [period](const Item& i) { return i.period <= period; });
    std::sort(pending_.begin(), ready, [](const Item& a, const Item& b) {
        return a.period != b.period ? a.period < b.period : a.order < b.order;
    });
    for (auto it = pending_.begin(); it != ready; ++it) {
        if (it->isLine)
            out.lines.push_back(std::move(it->line));
        else
            out.fixes.push_back(std::move(it->fix));
    }
    pending_.erase(pending_.begin(), ready);
    return out;
}

int SondeDecoders::goodPackets() const
{
    int n = goodGone_;
    for (const auto& [c, s] : sondes_)
        n += s->decoder->telemetry.goodPackets;
    return n;
}

int SondeDecoders::badPackets() const
{
    int n = badGone_;
    for (const auto& [c, s] : sondes_)
        n += s->decoder->telemetry.badPackets;
    return n;
}

}  // namespace nimbra
