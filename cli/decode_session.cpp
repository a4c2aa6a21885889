#include "cli/decode_session.h"

#include <algorithm>
#include <cmath>

#include "input/pcm16.h"
#include "telemetry/gps_fix.h"

namespace nimbra::cli {

DecodeSession::DecodeSession(const CliOptions& o) : decoder_(std::make_unique<Decoder>())
{
    DecoderParameters& p = decoder_->params;
    if (o.demodType)
        p.demodType = *o.demodType;
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
    decoder_->setFixListener([this](const FixRecord& r) {
        fixes_.push_back(flightFixOf(r, satellitesInGpsBlock(decoder_->telemetry.blockLength.load())));
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
    std::vector<FlightFix> fresh(fixes_.begin() + static_cast<long>(fixesTaken_), fixes_.end());
    if (keepFixes_) {
        fixesTaken_ = fixes_.size();
    } else {
        fixes_.clear();
        fixesTaken_ = 0;
    }
    return fresh;
}

}  // namespace nimbra::cli
