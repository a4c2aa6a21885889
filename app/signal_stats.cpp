#include "app/signal_stats.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace nimbra {

void SignalStats::restart(std::int64_t sample)
{
    *this = SignalStats();
    start_ = now_ = sample;
}

void SignalStats::addBlock(const PacketEvent& block)
{
    if (block.sampleIndex <= start_)
        return;
    advanceTo(block.sampleIndex);
    lastBlock_ = block.sampleIndex;
    if (block.kind == BlockKind::Gps && block.crcGood)
        goodGps_.push_back(block.sampleIndex);
    if (block.bitsRepaired > 0 && block.crcGood) {
        bitsRepaired_ += block.bitsRepaired;
        ++blocksRepaired_;
    }
    if (!std::isnan(block.ebN0Db)) {
        quality_.push_back(block.ebN0Db);
        if (quality_.size() > kQualityBlocks)
            quality_.pop_front();
    }
}

void SignalStats::addFix(std::int64_t sample)
{
    if (sample <= start_)
        return;
    advanceTo(sample);
    lastFix_ = sample;
}

void SignalStats::advanceTo(std::int64_t sample)
{
    now_ = std::max(now_, sample);
    const std::int64_t oldest = now_ - kLongWindowS * kSampleRate;
    while (!goodGps_.empty() && goodGps_.front() <= oldest)
        goodGps_.pop_front();
}

void SignalStats::resetCounters()
{
    goodGps_.clear();
    bitsRepaired_ = 0;
    blocksRepaired_ = 0;
    // The windows start again now, so that the rates do not count the seconds before as missed.
    start_ = now_;
}

SignalStats::Rate SignalStats::rate(int windowS) const
{
    Rate r;
    const std::int64_t from = std::max(start_, now_ - windowS * kSampleRate);
    r.expected = static_cast<int>((now_ - from) / kSampleRate);
    r.received = static_cast<int>(std::count_if(goodGps_.begin(), goodGps_.end(),
                                                [from](std::int64_t s) { return s > from; }));
    return r;
}

SignalStats::Figures SignalStats::figures() const
{
    constexpr float kUnknown = std::numeric_limits<float>::quiet_NaN();
    Figures f;
    f.shortWindow = rate(kShortWindowS);
    f.longWindow = rate(kLongWindowS);
    f.latestEbN0Db = quality_.empty() ? kUnknown : quality_.back();
    if (quality_.empty()) {
        f.medianEbN0Db = kUnknown;
    } else {
        std::vector<float> sorted(quality_.begin(), quality_.end());
        std::sort(sorted.begin(), sorted.end());
        f.medianEbN0Db = sorted[sorted.size() / 2];
    }
    f.bitsRepaired = bitsRepaired_;
    f.blocksRepaired = blocksRepaired_;
    f.secondsSinceFix = lastFix_ < 0 ? -1.0 : double(now_ - lastFix_) / double(kSampleRate);
    const std::int64_t quietSince = std::max(start_, lastBlock_);
    f.noSignal = now_ - quietSince >= kNoSignalS * kSampleRate;
    return f;
}

}  // namespace nimbra
