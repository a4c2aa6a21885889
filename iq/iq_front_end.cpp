#include "iq/iq_front_end.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace nimbra::iq {

namespace {

constexpr double kPeriodRate = 48000.0;
constexpr double kBitRate = 9600.0;
constexpr double kSearchSeconds = 0.25;
// The channel: the tones, a bit rate and a fifth beyond each for the modulation's sidebands,
// and room for the carrier to drift before the oscillator follows.
constexpr double kSidebandBitRates = 1.2;
constexpr double kDriftRoomHz = 1500.0;
// The oscillator follows the carrier in steps of this much: a step blurs the samples inside the
// filters at that moment, by a phase error that grows with the step (at 100 Hz below 0.1 rad).
constexpr double kRetuneHz = 100.0;
constexpr int kAbsentIntervalsToLose = 8;      // two seconds without any signal
constexpr int kElsewhereIntervalsToMove = 4;   // one second of a signal away from the tracked one
constexpr std::size_t kSearchRing = 4096;      // search values kept, by detector period
// Input fed to the detector at a time: at most 4096 samples, and at most 512 periods, well inside
// the detector's history, since the sink reads back over what a chunk has just brought.
constexpr std::size_t kChunk = 4096;
constexpr double kChunkPeriods = 512.0;

}  // namespace

IqFrontEnd::IqFrontEnd(double inputRate)
    : rate_(inputRate), periodsPerSample_(kPeriodRate / inputRate), search_(inputRate, kSearchSeconds),
      chunk_(std::min(kChunk, static_cast<std::size_t>(kChunkPeriods / periodsPerSample_)))
{
    interval_.reserve(search_.intervalSamples());
    searchValues_.assign(kSearchRing, 0.0f);
}

IqFrontEnd::~IqFrontEnd() = default;

double IqFrontEnd::channelCentreHz() const { return channel_ ? channel_->centreHz() : 0.0; }

void IqFrontEnd::note(const std::string& text)
{
    if (notes_)
        notes_(text);
}

void IqFrontEnd::process(const std::complex<float>* samples, std::size_t count)
{
    while (count > 0) {
        // Never past the end of a search interval: each is kept whole for a lock.
        const std::size_t room = search_.intervalSamples() - interval_.size();
        const std::size_t n = std::min({count, room, chunk_});
        interval_.insert(interval_.end(), samples, samples + n);
        const bool fresh = search_.add(samples, n);
        if (detector_)
            feedDetector(samples, n);
        samples += n;
        count -= n;
        samplesIn_ += static_cast<std::int64_t>(n);
        if (fresh) {
            const ToneEstimate& e = search_.estimate();
            if (!detector_) {
                if (e.found)
                    lock(e);
            } else {
                absentIntervals_ = e.present ? 0 : absentIntervals_ + 1;
                const double tracked = channel_->centreHz() + detector_->centreHz();
                const double apart = std::fabs(std::remainder(e.centreHz - tracked, rate_));
                elsewhereIntervals_ = e.found && apart > std::max(10000.0, e.deviationHz) ? elsewhereIntervals_ + 1 : 0;
                if (absentIntervals_ >= kAbsentIntervalsToLose)
                    unlock("signal lost");
                else if (elsewhereIntervals_ >= kElsewhereIntervalsToMove) {
                    unlock("signal moved");
                    lock(e);
                }
            }
            interval_.clear();
            intervalStart_ = samplesIn_;
        }
        if (!detector_) {
            // Unlocked, the sink runs a search interval (and a little) behind the input, so that
            // a lock can still start at the interval that found the signal.
            const auto latency = static_cast<std::int64_t>(std::ceil(
                double(search_.intervalSamples()) * periodsPerSample_)) + 64;
            deliver(static_cast<std::int64_t>(double(samplesIn_) * periodsPerSample_) - latency);
        }
    }
}

void IqFrontEnd::finish()
{
    const std::int64_t end = static_cast<std::int64_t>(double(samplesIn_) * periodsPerSample_);
    if (detector_) {
        // What the filters and the detector's look-ahead still hold is lost at the end: a few
        // periods, never a whole bit of interest.
        deliver(static_cast<std::int64_t>(std::floor(double(detector_->periods()) + offset_)) -
                detector_->lookahead());
    }
    deliver(std::max(next_, end - 64));
}

void IqFrontEnd::lock(const ToneEstimate& e)
{
    const double halfWidth = e.deviationHz + kSidebandBitRates * kBitRate + kDriftRoomHz;
    const ChannelPlan plan = planChannel(rate_, halfWidth);
    channel_ = std::make_unique<ChannelFilter>(plan, e.centreHz);
    detector_ = std::make_unique<ToneDetector>(plan.rateMultiple, 0.0, e.deviationHz);
    filtered_.clear();
    // Detector sample i stands for the input at the time of output sample i - delay, and for the
    // interval [i, i + 1) in the detector's count: in sink periods, from the interval's start.
    offset_ = double(intervalStart_) * periodsPerSample_ - (channel_->delay() + 0.5) / plan.rateMultiple;
    absentIntervals_ = 0;
    elsewhereIntervals_ = 0;
    ++locks_;
    char text[160];
    std::snprintf(text, sizeof text, "signal at %+.1f kHz, deviation +-%.1f kHz, %.1f dB above the noise",
                  e.centreHz / 1000.0, e.deviationHz / 1000.0, e.snrDb);
    note(text);
    // The interval that found the signal, from its start.
    feedDetector(interval_.data(), interval_.size());
}

void IqFrontEnd::unlock(const char* why)
{
    note(why);
    // Periods the detector can still tell about go out before it goes.
    deliver(static_cast<std::int64_t>(std::floor(double(detector_->periods()) + offset_)) - detector_->lookahead());
    detector_.reset();
    channel_.reset();
}

void IqFrontEnd::feedDetector(const std::complex<float>* samples, std::size_t count)
{
    const int m = detector_->rateMultiple();
    while (count > 0) {
        const std::size_t n = std::min(count, chunk_);
        channel_->process(samples, n, filtered_);
        samples += n;
        count -= n;
        std::size_t k = 0;
        for (; k + static_cast<std::size_t>(m) <= filtered_.size(); k += static_cast<std::size_t>(m)) {
            detector_->push(filtered_.data() + k);
            searchValues_[static_cast<std::size_t>(detector_->periods() - 1) % kSearchRing] =
                detector_->searchValue();
        }
        filtered_.erase(filtered_.begin(), filtered_.begin() + static_cast<long>(k));
        keepCentred();
        deliver(static_cast<std::int64_t>(std::floor(double(detector_->periods()) + offset_)) -
                detector_->lookahead());
    }
}

void IqFrontEnd::keepCentred()
{
    const double c = detector_->centreHz();
    if (std::fabs(c) <= kRetuneHz || detector_->retunePending())
        return;
    const double step = std::clamp(c, -kRetuneHz, kRetuneHz);
    // Input from now on is mixed with the new frequency; it reaches the detector after the
    // samples already in the filters, the middle of the filters' blur of old and new at the
    // filters' delay.
    const int m = detector_->rateMultiple();
    const double at = double(detector_->periods() * m) + double(filtered_.size()) + channel_->delay();
    channel_->retune(channel_->centreHz() + step);
    detector_->retuned(step, static_cast<std::int64_t>(std::llround(at)));
}

void IqFrontEnd::deliver(std::int64_t upTo)
{
    for (; next_ < upTo; ++next_)
        if (sink_)
            sink_(next_);
}

float IqFrontEnd::searchValue(std::int64_t period) const
{
    if (!detector_)
        return 0.0f;
    const auto k = static_cast<std::int64_t>(std::floor(double(period) - offset_));
    if (k < 0 || k >= detector_->periods() || detector_->periods() - k > static_cast<std::int64_t>(kSearchRing))
        return 0.0f;
    return searchValues_[static_cast<std::size_t>(k) % kSearchRing];
}

double IqFrontEnd::bitValue(double a, double b) const
{
    return detector_ ? detector_->bitValue(a - offset_, b - offset_) : 0.0;
}

double IqFrontEnd::windowValue(double a, double b) const
{
    return detector_ ? detector_->windowValue(a - offset_, b - offset_) : 0.0;
}

}  // namespace nimbra::iq
