#include "cli/decode_session.h"

#include <algorithm>
#include <cmath>

#include "demod/demod_type.h"
#include "input/pcm16.h"
#include "telemetry/gps_fix.h"

namespace nimbra::cli {

DecodeSession::DecodeSession(const CliOptions& o) : decoder_(std::make_unique<Decoder>())
{
    DecoderParameters& p = decoder_->params;
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

    keepFixes_ = !o.gpxPath.empty() || !o.kmlPath.empty();
    if (o.startTimeMs) {
        followRecording_ = true;
        const std::int64_t start = *o.startTimeMs;
        decoder_->setClock([this, start] { return start + samplesFed_ * 1000 / kSampleRate; });
    }
    flight::TrackerSettings tracking;
    tracking.trust = o.trust;
    tracking.groundAltitudeM = o.groundAltitudeM.value_or(p.userAlt.load());
    tracking.burstAltitudeM = o.burstAltitudeM.value_or(tracking.burstAltitudeM);
    tracking.ascentRateMps = o.ascentRateMps.value_or(tracking.ascentRateMps);
    tracking.descentRateMps = o.descentRateMps.value_or(tracking.descentRateMps);
    tracker_.setSettings(tracking);

    decoder_->setFixListener([this](const FixRecord& r) {
        FlightFix fix = tracker_.track(r, r.line ? std::string(r.line) : std::string(),
                                       static_cast<double>(r.sampleIndex) / kSampleRate);
        fix.satellites = satellitesInGpsBlock(decoder_->telemetry.blockLength.load());
        if (keepFixes_ && fix.trusted) {
            // Only the newest prediction's path goes into the track files.
            if (!track_.empty())
                track_.back().prediction.path.clear();
            track_.push_back(fix);
        }
        fresh_.push_back(std::move(fix));
    });
}

void DecodeSession::feed(const std::vector<float>& samples)
{
    input::roundToPcm16(samples, pcm_);
    const std::size_t piece = followRecording_ ? kSampleRate / 1000 : pcm_.size();
    for (std::size_t offset = 0; offset < pcm_.size(); offset += piece) {
        const std::size_t n = std::min(piece, pcm_.size() - offset);
        samplesFed_ += static_cast<std::int64_t>(n);
        decoder_->ProcessSamples(pcm_.data() + offset, n);
    }
}

void DecodeSession::feedBlock(const DemodBlock& block, std::int64_t period)
{
    advanceTo(period);
    decoder_->ProcessBlock(block, period);
}

std::vector<std::string> DecodeSession::takeLines()
{
    pendingText_ += decoder_->decodedDisplayText.takeAll();
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t cr; (cr = pendingText_.find('\r', start)) != std::string::npos; start = cr + 1)
        lines.push_back(pendingText_.substr(start, cr - start));
    pendingText_.erase(0, start);
    return lines;
}

std::vector<FlightFix> DecodeSession::takeNewFixes()
{
    std::vector<FlightFix> fresh;
    fresh.swap(fresh_);
    return fresh;
}

}  // namespace nimbra::cli
