#include "cli/sdr_pump.h"

#include <algorithm>
#include <cmath>

#include "formats/frequency_text.h"

namespace nimbra::cli {

namespace {

sdr::SdrSettings settingsOf(const CliOptions& o, double rate, double tunedHz)
{
    sdr::SdrSettings s;
    s.rate = rate;
    s.frequencyHz = tunedHz;
    s.gainDb = o.sdr.gainDb;
    s.ppm = o.sdr.ppm;
    s.biasTee = o.sdr.biasTee;
    return s;
}

}  // namespace

SdrPump::SdrPump(const CliOptions& o, std::function<void(const std::string&)> note)
    : rate_(o.rate.value_or(kDefaultRate)),
      scan_(sdr::planBand(o.sdr.bandLowHz, o.sdr.bandHighHz, rate_, o.tunedHz)),
      feed_(rate_, o, note), note_(std::move(note))
{
    runner_ = std::make_unique<sdr::DeviceRunner>(sdr::makeDevice(*o.sdr.device), settingsOf(o, rate_, scan_.tunedHz()));
    runner_->setNoteSink(note_);
    runner_->start();
}

SdrPump::~SdrPump() { runner_->stop(); }

std::string SdrPump::describe() const
{
    const sdr::BandPlan& plan = scan_.plan();
    std::string text = runner_->status().device + ", " + std::to_string(static_cast<long long>(rate_)) + " samples/s, ";
    if (plan.fixed)
        return text + "tuned to " + formats::formatMhz(plan.windows.front()) + " MHz";
    text += "band " + formats::formatMhz(plan.lowHz) + " to " + formats::formatMhz(plan.highHz) + " MHz";
    if (plan.windows.size() == 1)
        return text + ", all of it at once";
    return text + " in " + std::to_string(plan.windows.size()) + " windows";
}

long SdrPump::pump(DecodeSession& session)
{
    feed_.bind(session);
    if (!std::isfinite(feed_.tunedHz()))
        feed_.retuned(scan_.tunedHz(), session);
    sdr::SampleChunk chunk;
    if (!runner_->pop(chunk, 200))
        return -1;
    if (chunk.tunedHz != feed_.tunedHz()) {
        feed_.retuned(chunk.tunedHz, session);
    } else if (chunk.gapBefore) {
        feed_.receiver().breakInput();
    }
    feed_.process(chunk.samples.data(), chunk.samples.size());
    feed_.settle(session);
    bandSeconds_ += double(chunk.samples.size()) / rate_;
    double lastDecode = -1.0;
    for (const iq::ChannelStatus& c : feed_.receiver().channels())
        lastDecode = std::max(lastDecode, c.lastGoodS);
    // The receiver's clock is the samples it took, as the scan's is.
    if (const auto next = scan_.step(bandSeconds_, lastDecode)) {
        if (note_)
            note_("no sonde decoded here lately: moving on to " + formats::formatMhz(*next) + " MHz");
        runner_->retune(*next);
    }
    return static_cast<long>(chunk.samples.size());
}

void SdrPump::report(web::InputReport& report) const
{
    const sdr::DeviceStatus st = runner_->status();
    web::DeviceInfo& d = report.device;
    d.name = st.device;
    d.state = sdr::stateName(st.state);
    d.problem = st.problem;
    d.samples = st.samples;
    d.lost = st.lost;
    d.reconnects = st.reconnects;
    feed_.report(report, scan_.plan().lowHz, scan_.plan().highHz);
}

void SdrPump::finish(DecodeSession& session)
{
    runner_->stop();
    feed_.bind(session);
    feed_.finish(session);
}

}  // namespace nimbra::cli
