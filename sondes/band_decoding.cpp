#include "sondes/band_decoding.h"

#include <cmath>

namespace nimbra {

BandDecoding::BandDecoding(const Settings& s)
    : receiver_(s.rate, s.receiver), sondes_(s.configure, s.tracking, s.startTimeMs, false), tunedHz_(s.tunedHz)
{
    sondes_.setTunedHz(s.tunedHz);
    receiver_.setBlockSink([this](int channel, const DemodBlock& block, std::int64_t period, double hz) {
        sondes_.feedBlock(channel, block, period, hz);
    });
    receiver_.setEventSink([this](const iq::ChannelEvent& e) {
        if (e.kind == iq::ChannelEvent::Kind::Lost) {
            // What the panel showed of it stays for a while; its decoder goes.
            for (const SondeSummary& s : summaries())
                if (s.channel == e.channel) {
                    SondeSummary kept = s;
                    kept.lost = true;
                    gone_[e.channel] = kept;
                }
            sondes_.drop(e.channel);
        }
        if (eventSink_)
            eventSink_(e);
    });
}

void BandDecoding::process(const std::complex<float>* samples, std::size_t count)
{
    receiver_.process(samples, count);
    // Lost sondes are forgotten a while after their last fix.
    const double now = seconds();
    for (auto it = gone_.begin(); it != gone_.end();)
        it = now - std::max(0.0, it->second.lastFixS) > kForgetS ? gone_.erase(it) : std::next(it);
}

void BandDecoding::retuned(double tunedHz)
{
    receiver_.retuned();
    tunedHz_ = tunedHz;
    sondes_.setTunedHz(tunedHz);
}

void BandDecoding::finish() { receiver_.finish(); }

SondeDecoders::Released BandDecoding::release()
{
    SondeDecoders::Released r = sondes_.release(receiver_.settledPeriod());
    for (const FlightFix& f : r.fixes) {
        latest_[f.channel] = f;
        latestS_[f.channel] = double(f.record.sampleIndex) / SondeDecoders::kSampleRate;
    }
    return r;
}

std::vector<SondeSummary> BandDecoding::summaries() const
{
    std::vector<SondeSummary> out;
    const bool known = std::isfinite(tunedHz_);
    for (const iq::ChannelStatus& c : receiver_.channels()) {
        SondeSummary s;
        s.channel = c.channel;
        s.offsetHz = c.frequencyHz;
        s.absolute = known;
        s.frequencyHz = known ? tunedHz_ + c.frequencyHz : c.frequencyHz;
        s.deviationHz = c.deviationHz;
        s.levelDb = c.levelDb;
        s.ebN0Db = c.ebN0Db;
        s.goodBlocks = c.goodBlocks;
        s.badBlocks = c.badBlocks;
        if (c.transmitterId >= 0) {
            s.hasId = true;
            s.transmitterId = static_cast<unsigned>(c.transmitterId);
        }
        if (const auto f = latest_.find(c.channel); f != latest_.end()) {
            s.latest = f->second;
            s.lastFixS = latestS_.at(c.channel);
            s.hasId = true;
            s.transmitterId = f->second.record.transmitterId;
        }
        out.push_back(s);
    }
    for (const auto& [channel, s] : gone_) {
        bool live = false;
        for (const SondeSummary& o : out)
            live = live || o.channel == channel;
        if (!live)
            out.push_back(s);
    }
    return out;
}

}  // namespace nimbra
