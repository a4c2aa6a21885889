#include "cli/decode_session.h"

#include <algorithm>
#include <cmath>

#include "demod/demod_type.h"
#include "input/pcm16.h"

namespace nimbra::cli {

namespace {

void configure(Decoder& d, const CliOptions& o)
{
    DecoderParameters& p = d.params;
    p.demodType = o.demodType.value_or(kSyncDemod);
    p.invertSignal = o.invert ? 1 : 0;
    p.doFiltering = o.filter ? 1 : 0;
    if (o.threshold) {
        p.autoThreshold = 0;
        p.threshold = *o.threshold;
    }
    if (o.samplesPerBit)
        p.samplesPerBit = *o.samplesPerBit;
    p.rejectBogus = o.rejectBogus ? 1 : 0;
    p.updateBadCrcPackets = o.badCrc ? 1 : 0;
    if (o.maxRangeKm)
        p.maxRange = *o.maxRangeKm;
    if (o.stationLat) {
        p.userLat = *o.stationLat;
        p.userLon = *o.stationLon;
        p.userAlt = *o.stationAlt;
    }
    p.displayPsuData = o.psu ? 1 : 0;
    p.displayCalibrationData = o.calibration ? 1 : 0;
    p.recordDecodedText = 0;
}

flight::TrackerSettings trackingOf(const CliOptions& o)
{
    flight::TrackerSettings tracking;
    tracking.trust = o.trust;
    const float stationAlt = o.stationAlt ? *o.stationAlt : DecoderParameters().userAlt.load();
    tracking.groundAltitudeM = o.groundAltitudeM.value_or(stationAlt);
    tracking.burstAltitudeM = o.burstAltitudeM.value_or(tracking.burstAltitudeM);
    tracking.ascentRateMps = o.ascentRateMps.value_or(tracking.ascentRateMps);
    tracking.descentRateMps = o.descentRateMps.value_or(tracking.descentRateMps);
    return tracking;
}

}  // namespace

DecodeSession::DecodeSession(const CliOptions& o)
    : sondes_([o](Decoder& d) { configure(d, o); }, trackingOf(o), o.startTimeMs,
              !o.gpxPath.empty() || !o.kmlPath.empty()),
      reference_(&sondes_.decoder(0)), followRecording_(o.startTimeMs.has_value())
{
    if (o.tunedHz)
        sondes_.setTunedHz(*o.tunedHz);
}

void DecodeSession::feed(const std::vector<float>& samples)
{
    input::roundToPcm16(samples, pcm_);
    const std::size_t piece = followRecording_ ? kSampleRate / 1000 : pcm_.size();
    for (std::size_t offset = 0; offset < pcm_.size(); offset += piece) {
        const std::size_t n = std::min(piece, pcm_.size() - offset);
        samplesFed_ += static_cast<std::int64_t>(n);
        sondes_.setNow(samplesFed_);
        reference_->ProcessSamples(pcm_.data() + offset, n);
    }
    sondes_.collect(0);
}

void DecodeSession::feedBlock(int channel, const DemodBlock& block, std::int64_t period, double offsetHz)
{
    sondes_.feedBlock(channel, block, period, offsetHz);
}

void DecodeSession::release()
{
    SondeDecoders::Released r = sondes_.release(settled_);
    lines_.insert(lines_.end(), std::make_move_iterator(r.lines.begin()), std::make_move_iterator(r.lines.end()));
    fixes_.insert(fixes_.end(), std::make_move_iterator(r.fixes.begin()), std::make_move_iterator(r.fixes.end()));
}

std::vector<std::string> DecodeSession::takeLines()
{
    release();
    std::vector<std::string> lines;
    lines.swap(lines_);
    return lines;
}

std::vector<FlightFix> DecodeSession::takeNewFixes()
{
    release();
    std::vector<FlightFix> fixes;
    fixes.swap(fixes_);
    return fixes;
}

}  // namespace nimbra::cli
