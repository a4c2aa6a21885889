#include "iq/sonde_channel.h"

#include <algorithm>
#include <cmath>

#include "demod/sync_stage_impl.h"

namespace nimbra {

template class SyncStage<iq::IqSoftBits<iq::SondeChannel>>;

namespace iq {

namespace {

constexpr double kPeriodRate = 48000.0;
constexpr double kBitRate = 9600.0;
// The channel: the tones, a bit rate and a fifth beyond each for the modulation's sidebands,
// and room for the carrier to drift before the mixer follows.
constexpr double kSidebandBitRates = 1.2;
constexpr double kDriftRoomHz = 1500.0;
// The mixer follows the carrier in steps of this much: a step blurs the samples inside the
// filters at that moment, by a phase error that grows with the step (at 100 Hz below 0.1 rad).
constexpr double kRetuneHz = 100.0;
constexpr std::size_t kSearchRing = 4096;  // search values kept, by detector period
// Channel samples fed to the filters at a time: at most 512 detector periods, well inside the
// detector's history, since the stage reads back over what a piece has just brought.
constexpr double kPiecePeriods = 512.0;

}  // namespace

double channelHalfWidth(double deviationHz) { return deviationHz + kSidebandBitRates * kBitRate + kDriftRoomHz; }

SondeChannel::SondeChannel(const ChannelTiming& timing, double centreHz, double deviationHz)
    : timing_(timing), searchValues_(kSearchRing, 0.0f), source_(*this)
{
    recent_.resize(static_cast<std::size_t>(std::ceil(kRecentSeconds * timing_.tapRate)));
    pendingCentre_ = centreHz;
    pendingDeviation_ = deviationHz;
    restartPending_ = true;
}

SondeChannel::~SondeChannel() = default;

void SondeChannel::start(double centreHz, double deviationHz, std::int64_t firstSample)
{
    const ChannelPlan plan = planChannel(timing_.tapRate, channelHalfWidth(deviationHz), true);
    filter_ = std::make_unique<ChannelFilter>(plan, centreHz);
    detector_ = std::make_unique<ToneDetector>(plan.rateMultiple, 0.0, deviationHz);
    filtered_.clear();
    std::fill(searchValues_.begin(), searchValues_.end(), 0.0f);
    // Detector sample i stands for the channel's input at the time of filter output i - delay,
    // and for the interval [i, i + 1) in the detector's count.
    const double startPeriod =
        (double(firstSample) * timing_.decimation - timing_.tapDelay) * kPeriodRate / timing_.bandRate;
    offset_ = startPeriod - (filter_->delay() + 0.5) / plan.rateMultiple;
    if (next_ < 0)
        next_ = std::max<std::int64_t>(0, static_cast<std::int64_t>(std::ceil(startPeriod)));
    stage_.reset();
}

void SondeChannel::restart(double centreHz, double deviationHz)
{
    pendingCentre_ = centreHz;
    pendingDeviation_ = deviationHz;
    restartPending_ = true;
}

double SondeChannel::centreHz() const
{
    if (!filter_)
        return pendingCentre_;
    return filter_->centreHz() + detector_->centreHz();
}

std::vector<std::complex<float>> SondeChannel::recent() const
{
    if (!recentFull_)
        return std::vector<std::complex<float>>(recent_.begin(), recent_.begin() + static_cast<long>(recentHead_));
    std::vector<std::complex<float>> out(recent_.begin() + static_cast<long>(recentHead_), recent_.end());
    out.insert(out.end(), recent_.begin(), recent_.begin() + static_cast<long>(recentHead_));
    return out;
}

void SondeChannel::feed(const std::complex<float>* samples, std::size_t count, std::int64_t first)
{
    if (count == 0)
        return;
    if (restartPending_) {
        if (detector_)
            deliver(static_cast<std::int64_t>(std::floor(double(detector_->periods()) + offset_)) -
                    detector_->lookahead());
        start(pendingCentre_, pendingDeviation_, first);
        restartPending_ = false;
    }
    for (std::size_t i = 0; i < count; ++i) {
        recent_[recentHead_] = samples[i];
        if (++recentHead_ == recent_.size()) {
            recentHead_ = 0;
            recentFull_ = true;
        }
    }
    const auto piece = static_cast<std::size_t>(
        std::max(1.0, kPiecePeriods * timing_.tapRate / kPeriodRate));
    while (count > 0) {
        const std::size_t n = std::min(count, piece);
        push(samples, n);
        samples += n;
        count -= n;
    }
}

void SondeChannel::push(const std::complex<float>* samples, std::size_t count)
{
    const int m = detector_->rateMultiple();
    filter_->process(samples, count, filtered_);
    std::size_t k = 0;
    for (; k + static_cast<std::size_t>(m) <= filtered_.size(); k += static_cast<std::size_t>(m)) {
        detector_->push(filtered_.data() + k);
        searchValues_[static_cast<std::size_t>(detector_->periods() - 1) % kSearchRing] = detector_->searchValue();
    }
    filtered_.erase(filtered_.begin(), filtered_.begin() + static_cast<long>(k));
    keepCentred();
    deliver(static_cast<std::int64_t>(std::floor(double(detector_->periods()) + offset_)) - detector_->lookahead());
}

void SondeChannel::finish()
{
    if (detector_)
        deliver(static_cast<std::int64_t>(std::floor(double(detector_->periods()) + offset_)));
}

void SondeChannel::keepCentred()
{
    const double c = detector_->centreHz();
    if (std::fabs(c) <= kRetuneHz || detector_->retunePending())
        return;
    const double step = std::clamp(c, -kRetuneHz, kRetuneHz);
    // Input from now on is mixed with the new frequency; it reaches the detector after the
    // samples already in the filters, the middle of the filters' blur of old and new at the
    // filters' delay.
    const int m = detector_->rateMultiple();
    const double at = double(detector_->periods() * m) + double(filtered_.size()) + filter_->delay();
    filter_->retune(filter_->centreHz() + step);
    detector_->retuned(step, static_cast<std::int64_t>(std::llround(at)));
}

void SondeChannel::deliver(std::int64_t upTo)
{
    for (; next_ < upTo; ++next_)
        step(next_);
}

void SondeChannel::step(std::int64_t period)
{
    source_.setPeriod(period);
    if (stage_.step(source_) && sink_)
        sink_(stage_.block(), period + 1);
}

float SondeChannel::searchValue(std::int64_t period) const
{
    if (!detector_)
        return 0.0f;
    const auto k = static_cast<std::int64_t>(std::floor(double(period) - offset_));
    if (k < 0 || k >= detector_->periods() || detector_->periods() - k > static_cast<std::int64_t>(kSearchRing))
        return 0.0f;
    return searchValues_[static_cast<std::size_t>(k) % kSearchRing];
}

double SondeChannel::bitValue(double a, double b) const
{
    return detector_ ? detector_->bitValue(a - offset_, b - offset_) : 0.0;
}

double SondeChannel::windowValue(double a, double b) const
{
    return detector_ ? detector_->windowValue(a - offset_, b - offset_) : 0.0;
}

}  // namespace iq
}  // namespace nimbra
