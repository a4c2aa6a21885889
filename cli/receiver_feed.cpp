#include "cli/receiver_feed.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "formats/frequency_text.h"

namespace nimbra::cli {

namespace {

iq::ReceiverSettings settingsOf(const CliOptions& o)
{
    iq::ReceiverSettings s;
    s.maxSondes = o.maxSondes;
    return s;
}

}  // namespace

std::string describeEvent(const iq::ChannelEvent& e, double tunedHz)
{
    char where[96];
    if (std::isfinite(tunedHz))
        std::snprintf(where, sizeof where, "%s MHz (%+.1f kHz)", formats::formatMhz(tunedHz + e.frequencyHz).c_str(),
                      e.frequencyHz / 1000.0);
    else
        std::snprintf(where, sizeof where, "%+.1f kHz", e.frequencyHz / 1000.0);
    char text[256];
    switch (e.kind) {
    case iq::ChannelEvent::Kind::TakenUp:
        std::snprintf(text, sizeof text, "channel %d: sonde at %s, deviation +-%.1f kHz, %.1f dB above the noise",
                      e.channel, where, e.deviationHz / 1000.0, e.levelDb);
        break;
    case iq::ChannelEvent::Kind::Reacquired:
        std::snprintf(text, sizeof text, "channel %d: acquired again at %s, deviation +-%.1f kHz", e.channel, where,
                      e.deviationHz / 1000.0);
        break;
    case iq::ChannelEvent::Kind::Lost:
        std::snprintf(text, sizeof text, "channel %d: sonde at %s lost (%s) after %d good blocks", e.channel, where,
                      e.reason.c_str(), e.goodBlocks);
        break;
    }
    return text;
}

ReceiverFeed::ReceiverFeed(double rate, const CliOptions& options, std::function<void(const std::string&)> note)
    : receiver_(rate, settingsOf(options)), tunedHz_(options.tunedHz.value_or(std::nan(""))), note_(std::move(note))
{
}

void ReceiverFeed::bind(DecodeSession& session)
{
    receiver_.setBlockSink([&session](int channel, const DemodBlock& block, std::int64_t period, double hz) {
        session.feedBlock(channel, block, period, hz);
    });
    receiver_.setEventSink([this, &session](const iq::ChannelEvent& e) {
        if (note_)
            note_(describeEvent(e, tunedHz_));
        if (e.kind == iq::ChannelEvent::Kind::Lost)
            session.dropChannel(e.channel);
    });
}

void ReceiverFeed::finish(DecodeSession& session)
{
    receiver_.finish();
    settle(session);
}

void ReceiverFeed::report(web::InputReport& report, double bandLowHz, double bandHighHz) const
{
    const bool known = std::isfinite(tunedHz_);
    std::vector<web::ChannelInfo> channels;
    for (const iq::ChannelStatus& c : receiver_.channels()) {
        web::ChannelInfo i;
        i.channel = c.channel;
        i.absolute = known;
        i.frequencyHz = known ? tunedHz_ + c.frequencyHz : c.frequencyHz;
        i.deviationHz = c.deviationHz;
        i.levelDb = c.levelDb;
        i.ebN0Db = c.ebN0Db;
        i.goodBlocks = c.goodBlocks;
        i.badBlocks = c.badBlocks;
        channels.push_back(i);
    }
    report.channels = channels;
    const iq::BandView& view = receiver_.spectrum();
    web::SpectrumInfo s;
    s.centreHz = known ? tunedHz_ : 0.0;
    s.spanHz = receiver_.rate();
    s.bandLowHz = known ? bandLowHz : -0.5 * receiver_.rate();
    s.bandHighHz = known ? bandHighHz : 0.5 * receiver_.rate();
    iq::reduceView(view, web::StationState::kSpectrumPoints, s.powerDb, s.floorDb);
    report.spectrum = std::move(s);
    report.hasSpectrum = true;
}

void ReceiverFeed::retuned(double tunedHz, DecodeSession& session)
{
    receiver_.retuned();
    tunedHz_ = tunedHz;
    session.setTunedHz(tunedHz);
}

}  // namespace nimbra::cli
