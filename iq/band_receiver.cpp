#include "iq/band_receiver.h"

#include <algorithm>
#include <deque>
#include <cmath>
#include <limits>

#include "block/block_format.h"
#include "block/crc16.h"
#include "iq/tone_pair_search.h"

namespace nimbra::iq {

namespace {

constexpr double kPeriodRate = 48000.0;
constexpr double kBitRate = 9600.0;
constexpr double kProbeSeconds = SondeChannel::kRecentSeconds;
// A probe's channel: the candidate's span and room for the tones' sidebands and drift around it.
constexpr double kProbeMarginHz = 14000.0;
constexpr double kTapMarginHz = 2000.0;
// Tones searched again differ from those followed when they are this far off.
constexpr double kRetuneCentreHz = 300.0;
constexpr double kRetuneDeviationShare = 0.08;
// The same place in the band, for the retry schedule: centres this close.
constexpr double kSamePlaceHz = 5000.0;
constexpr double kForgetRetryS = 5.0;
// Blocks of two channels with the same identifier within this long: one sonde seen twice.
constexpr double kSameSondeS = 10.0;
// How far back a new channel's first block may lie: the probe's samples, and a little.
constexpr double kSettleS = kProbeSeconds + 0.2;
// blockEbN0Db: the squared mean over the variance of the soft values reads about 4 dB above the
// Eb/N0 the synthesizer set (2.4 MS/s cu8, deviation 3.6 kHz): within half a dB of it from 8 to
// 20 dB once corrected, and low above (the 8-bit converter's own noise).
constexpr double kEbN0CalibrationDb = -4.0;
constexpr std::size_t kEbN0Blocks = 10;  // blocks in a channel's median

bool checksumGood(const DemodBlock& b)
{
    if (b.length < block::kChecksumBytes + 1)
        return false;
    const auto n = static_cast<std::size_t>(b.length - block::kChecksumBytes);
    const std::uint16_t sent = static_cast<std::uint16_t>((b.bytes[n] << 8) | b.bytes[n + 1]);
    return crc16Xmodem(b.bytes, n) == sent;
}

int transmitterOf(const DemodBlock& b)
{
    if (b.length < block::kTransmitterIdOffset + 2 || b.bytes[block::kKindOffset] != block::kGpsKind)
        return -1;
    return (b.bytes[block::kTransmitterIdOffset] << 8) | b.bytes[block::kTransmitterIdOffset + 1];
}

// The output rate the channel filter after a tap needs: 48 kHz times the multiple it will use.
double minimumTapRate(double halfWidthHz)
{
    return kPeriodRate * std::max(1.0, std::ceil(2.4 * halfWidthHz / kPeriodRate));
}

}  // namespace

double blockEbN0Db(const BlockSignal& signal)
{
    if (!signal.measured || signal.softBits < 100)
        return std::numeric_limits<double>::quiet_NaN();
    const double mean = signal.softSum / signal.softBits;
    const double variance = signal.softSumSquares / signal.softBits - mean * mean;
    if (!(variance > 0.0) || !(mean > 0.0))
        return std::numeric_limits<double>::quiet_NaN();
    return 10.0 * std::log10(mean * mean / variance) + kEbN0CalibrationDb;
}

struct BandReceiver::Channel {
    int id = 0;
    int tap = 0;
    double tapCentreHz = 0.0;
    double passHz = 0.0;
    std::unique_ptr<SondeChannel> sonde;
    std::int64_t consumed = 0;  // tap samples handed on
    double createdS = 0.0, lastRestartS = 0.0, lastPresentS = 0.0, lastGoodS = -1.0;
    double levelDb = 0.0;
    int good = 0, bad = 0;
    int transmitterId = -1;
    std::deque<double> ebN0;  // the last blocks' estimates
    std::string doomed;  // set: lost at the next look, for this reason

    double frequencyHz() const { return tapCentreHz + sonde->centreHz(); }
    Span span() const
    {
        const double f = frequencyHz(), half = sonde->deviationHz() + kBitRate;
        return {f - half, f + half};
    }
};

struct BandReceiver::Probe {
    int tap = 0;
    Span span;
    double tapCentreHz = 0.0;
    double passHz = 0.0;
    double levelDb = 0.0;
    std::vector<std::complex<float>> samples;
    std::int64_t firstIndex = 0;
    std::size_t needed = 0;
    bool searched = false;  // its samples have been searched; it waits for its overlapping siblings
    TonePair found;
};

BandReceiver::BandReceiver(double rate, ReceiverSettings settings)
    : rate_(rate), settings_(settings), conditioner_(rate), channelizer_(rate),
      spectrum_(rate, channelizer_.fftSize(), channelizer_.hop())
{
    work_.reserve(channelizer_.hop());
    channelizer_.setSpectrumListener([this](const std::complex<float>* bins, std::size_t) {
        if (spectrum_.add(bins, channelizer_.samplesIn()))
            viewPending_ = true;
    });
}

BandReceiver::~BandReceiver() = default;

double BandReceiver::nowS() const { return double(channelizer_.samplesIn()) / rate_; }

std::int64_t BandReceiver::periods() const
{
    return static_cast<std::int64_t>(double(channelizer_.samplesIn()) * kPeriodRate / rate_);
}

std::int64_t BandReceiver::settledPeriod() const
{
    if (finished_)
        return std::numeric_limits<std::int64_t>::max();
    std::int64_t settled = periods() - static_cast<std::int64_t>(kSettleS * kPeriodRate);
    for (const auto& [id, c] : channels_)
        settled = std::min(settled, c->sonde->periodsOut());
    return settled;
}

void BandReceiver::process(const std::complex<float>* samples, std::size_t count)
{
    const std::size_t hop = channelizer_.hop();
    while (count > 0) {
        const std::size_t n = std::min(count, hop);
        work_.assign(samples, samples + n);
        conditioner_.process(work_.data(), n);
        channelizer_.process(work_.data(), n);
        samples += n;
        count -= n;
        drainTaps();
        if (viewPending_) {
            viewPending_ = false;
            onView(spectrum_.view());
        }
    }
}

void BandReceiver::finish()
{
    drainTaps();
    for (auto& [id, c] : channels_)
        c->sonde->finish();
    finished_ = true;
}

void BandReceiver::breakInput()
{
    channelizer_.breakInput();
    drainTaps();
    for (auto& [id, c] : channels_)
        c->sonde->restart(c->sonde->centreHz(), c->sonde->deviationHz());
    for (auto& p : probes_)
        channelizer_.removeChannel(p->tap);
    probes_.clear();
}

void BandReceiver::retuned()
{
    breakInput();
    std::vector<int> ids;
    for (const auto& [id, c] : channels_)
        ids.push_back(id);
    for (int id : ids)
        lose(id, "the radio moved to another part of the band");
    retries_.clear();
    spectrum_.restartInterval();
}

int BandReceiver::addChannel(double frequencyHz, double deviationHz)
{
    if (static_cast<int>(channels_.size()) >= settings_.maxSondes)
        return 0;
    for (const auto& [id, c] : channels_)
        if (c->span().overlaps({frequencyHz - deviationHz, frequencyHz + deviationHz}))
            return 0;
    const double half = channelHalfWidth(deviationHz) + kTapMarginHz;
    const int tap = channelizer_.addChannel(frequencyHz, half, minimumTapRate(half));
    takeUp(tap, frequencyHz - channelizer_.channel(tap).centreHz, deviationHz, 0.0, nullptr, 0);
    return nextChannel_ - 1;
}

void BandReceiver::tryAt(double frequencyHz)
{
    Span span{frequencyHz - 10000.0, frequencyHz + 10000.0};
    for (const SpectrumRegion& r : spectrum_.view().regions)
        if (r.lowHz <= frequencyHz && frequencyHz <= r.highHz && !r.line)
            span = {r.lowHz, r.highHz};
    for (const TakenSpan& t : taken())
        if (t.span.overlaps(span))
            return;
    startProbe(span, spectrum_.view().levelDbAt(frequencyHz));
}

void BandReceiver::drainTaps()
{
    for (auto& [id, c] : channels_) {
        ChannelTap& tap = channelizer_.channel(c->tap);
        if (tap.output.empty())
            continue;
        c->sonde->feed(tap.output.data(), tap.output.size(), tap.firstOutput + c->consumed);
        c->consumed += static_cast<std::int64_t>(tap.output.size());
        tap.output.clear();
    }
    for (auto& probe : probes_) {
        Probe& p = *probe;
        ChannelTap& tap = channelizer_.channel(p.tap);
        p.samples.insert(p.samples.end(), tap.output.begin(), tap.output.end());
        tap.output.clear();
        if (!p.searched && p.samples.size() >= p.needed) {
            p.found = search(p);
            p.searched = true;
        }
    }
    settleProbes();
    for (auto it = channels_.begin(); it != channels_.end();) {
        const auto next = std::next(it);
        if (!it->second->doomed.empty())
            lose(it->first, it->second->doomed);
        it = next;
    }
}

void BandReceiver::onView(const BandView& view)
{
    watch(view);
    probeCandidates(view);
    if (spectrumSink_)
        spectrumSink_(view);
}

std::vector<TakenSpan> BandReceiver::taken() const
{
    std::vector<TakenSpan> t;
    for (const auto& [id, c] : channels_)
        t.push_back({c->span(), c->levelDb});
    for (const auto& p : probes_)
        t.push_back({p->span, p->levelDb});
    return t;
}

ChannelEvent BandReceiver::eventOf(const Channel& c, ChannelEvent::Kind kind) const
{
    ChannelEvent e;
    e.kind = kind;
    e.channel = c.id;
    e.frequencyHz = c.frequencyHz();
    e.deviationHz = c.sonde->deviationHz();
    e.levelDb = c.levelDb;
    e.goodBlocks = c.good;
    e.timeS = nowS();
    return e;
}

void BandReceiver::watch(const BandView& view)
{
    const double now = nowS();
    std::vector<int> lost;
    std::vector<std::string> reasons;
    for (auto& [id, cp] : channels_) {
        Channel& c = *cp;
        const Span span = c.span();
        bool present = false;
        double level = -100.0;
        for (const SpectrumRegion& r : view.regions)
            if (span.overlaps({r.lowHz, r.highHz})) {
                present = true;
                level = std::max(level, r.levelDb);
            }
        if (present) {
            c.lastPresentS = now;
            c.levelDb = level;
        }
        const double quiet = now - (c.lastGoodS >= 0.0 ? c.lastGoodS : c.createdS);
        if (quiet >= settings_.lostAfterS) {
            lost.push_back(id);
            reasons.push_back("no good block for " + std::to_string(int(settings_.lostAfterS)) + " s");
        } else if (c.lastGoodS < 0.0 && now - c.lastPresentS >= kGoneS) {
            lost.push_back(id);
            reasons.push_back("signal gone");
        } else if (present && now - std::max({c.lastGoodS, c.lastRestartS, c.createdS}) >=
                                  (c.lastGoodS < 0.0 ? kFirstReacquireS : kReacquireS)) {
            reacquire(c, view);
        }
    }
    for (std::size_t i = 0; i < lost.size(); ++i)
        lose(lost[i], reasons[i]);
}

void BandReceiver::reacquire(Channel& c, const BandView& view)
{
    c.lastRestartS = nowS();
    const ChannelTap& tap = channelizer_.channel(c.tap);
    const double edge = c.passHz - kTapMarginHz;
    const TonePair tp = searchTonePair(c.sonde->recent(), tap.outputRate, -edge, edge,
                                       view.noiseVarianceAt(c.tapCentreHz) / tap.decimation);
    if (!tp.sonde)
        return;
    const double centre = c.sonde->centreHz(), deviation = c.sonde->deviationHz();
    if (std::fabs(tp.centreHz - centre) <= kRetuneCentreHz &&
        std::fabs(tp.deviationHz - deviation) <= kRetuneDeviationShare * deviation)
        return;
    const double f = c.tapCentreHz + tp.centreHz;
    if (std::fabs(tp.centreHz) + channelHalfWidth(tp.deviationHz) > c.passHz) {
        // The tones no longer fit the channel: a channel around them, from now on.
        channelizer_.removeChannel(c.tap);
        const double half = channelHalfWidth(tp.deviationHz) + kTapMarginHz;
        c.tap = channelizer_.addChannel(f, half, minimumTapRate(half));
        const ChannelTap& moved = channelizer_.channel(c.tap);
        c.tapCentreHz = moved.centreHz;
        c.passHz = half;
        c.consumed = 0;
        c.sonde = std::make_unique<SondeChannel>(
            ChannelTiming{rate_, moved.outputRate, moved.decimation, channelizer_.delay()}, f - moved.centreHz,
            tp.deviationHz);
        Channel* self = &c;
        c.sonde->setBlockSink([this, self](const DemodBlock& b, std::int64_t period) { onBlock(*self, b, period); });
    } else {
        c.sonde->restart(tp.centreHz, tp.deviationHz);
    }
    ChannelEvent e = eventOf(c, ChannelEvent::Kind::Reacquired);
    e.frequencyHz = f;
    e.deviationHz = tp.deviationHz;
    if (eventSink_)
        eventSink_(e);
}

void BandReceiver::probeCandidates(const BandView& view)
{
    const double now = nowS();
    retries_.erase(std::remove_if(retries_.begin(), retries_.end(),
                                  [&](const Retry& r) { return now - r.seenS > kForgetRetryS; }),
                   retries_.end());
    if (static_cast<int>(channels_.size()) >= settings_.maxSondes)
        return;
    for (const Candidate& cand : findCandidates(view, taken())) {
        if (static_cast<int>(probes_.size()) >= settings_.maxProbes)
            break;
        Retry* retry = nullptr;
        for (Retry& r : retries_)
            if (std::fabs(r.centreHz - cand.region.centreHz()) < kSamePlaceHz)
                retry = &r;
        if (!retry) {
            retries_.push_back({cand.region.centreHz(), now, 0, now});
            retry = &retries_.back();
        }
        retry->seenS = now;
        if (now < retry->nextS)
            continue;
        // The region alone and paired with a neighbour (the other hump of a wide deviation) at
        // once, later the other neighbours in turn.
        const std::size_t count = cand.alternatives.size();
        std::vector<Span> spans = {cand.alternatives[0]};
        if (count > 1)
            spans.push_back(cand.alternatives[1 + static_cast<std::size_t>(retry->attempts) % (count - 1)]);
        ++retry->attempts;
        retry->nextS = now + kRetryS;
        for (const Span& span : spans) {
            if (static_cast<int>(probes_.size()) >= settings_.maxProbes)
                break;
            startProbe(span, cand.region.levelDb);
        }
    }
}

void BandReceiver::startProbe(const Span& span, double levelDb)
{
    auto probe = std::make_unique<Probe>();
    probe->span = span;
    probe->levelDb = levelDb;
    probe->passHz = 0.5 * span.widthHz() + kProbeMarginHz;
    probe->tap = channelizer_.addChannel(span.centreHz(), probe->passHz, minimumTapRate(probe->passHz));
    const ChannelTap& tap = channelizer_.channel(probe->tap);
    probe->tapCentreHz = tap.centreHz;
    probe->firstIndex = tap.firstOutput;
    probe->needed = static_cast<std::size_t>(std::ceil(kProbeSeconds * tap.outputRate));
    probe->samples.reserve(probe->needed + channelizer_.hop());
    probes_.push_back(std::move(probe));
}

TonePair BandReceiver::search(const Probe& p)
{
    const ChannelTap& tap = channelizer_.channel(p.tap);
    return searchTonePair(p.samples, tap.outputRate, p.span.lowHz - p.tapCentreHz, p.span.highHz - p.tapCentreHz,
                          spectrum_.view().noiseVarianceAt(p.span.centreHz()) / tap.decimation);
}

void BandReceiver::settleProbes()
{
    // A probe that has been searched waits for the probes whose spans overlap its own, so that
    // the widest pair that passes wins: one hump of a wide sonde, keyed on and off, can pass as
    // a narrow pair on its own, and the probe of both humps finishes a hop later or sooner. A
    // waiting probe's tap keeps running, so the channel still starts from its first sample.
    std::vector<bool> ready(probes_.size());
    for (std::size_t i = 0; i < probes_.size(); ++i) {
        ready[i] = probes_[i]->searched;
        for (const auto& other : probes_)
            ready[i] = ready[i] && (other->searched || !other->span.overlaps(probes_[i]->span));
    }
    std::vector<std::unique_ptr<Probe>> settled;
    for (std::size_t i = 0; i < probes_.size(); ++i)
        if (ready[i])
            settled.push_back(std::move(probes_[i]));
    if (settled.empty())
        return;
    probes_.erase(std::remove(probes_.begin(), probes_.end(), nullptr), probes_.end());
    std::stable_sort(settled.begin(), settled.end(), [](const auto& a, const auto& b) {
        if (a->found.sonde != b->found.sonde)
            return a->found.sonde;
        return a->found.deviationHz > b->found.deviationHz;
    });
    for (const auto& p : settled)
        evaluate(*p);
}

void BandReceiver::evaluate(Probe& p)
{
    const ChannelTap& tap = channelizer_.channel(p.tap);
    const TonePair& tp = p.found;
    const double f = p.tapCentreHz + tp.centreHz;
    bool fresh = tp.sonde && static_cast<int>(channels_.size()) < settings_.maxSondes;
    for (const auto& [id, c] : channels_)
        fresh = fresh && !c->span().overlaps({f - tp.deviationHz, f + tp.deviationHz});
    if (!fresh) {
        channelizer_.removeChannel(p.tap);
        return;
    }
    const double need = std::fabs(tp.centreHz) + channelHalfWidth(tp.deviationHz) + kTapMarginHz;
    const double rate = tap.outputRate;
    channelizer_.removeChannel(p.tap);
    if (need <= p.passHz) {
        // The channel the tones need, as narrow as they allow (a carrier beside them stays out),
        // on the probe's centre and rate, so that it continues the probe's samples seamlessly.
        const int tight = channelizer_.addChannel(p.tapCentreHz, need, rate);
        takeUp(tight, tp.centreHz, tp.deviationHz, p.levelDb, &p.samples, p.firstIndex);
        return;
    }
    const double half = channelHalfWidth(tp.deviationHz) + kTapMarginHz;
    const int tapId = channelizer_.addChannel(f, half, minimumTapRate(half));
    takeUp(tapId, f - channelizer_.channel(tapId).centreHz, tp.deviationHz, p.levelDb, nullptr, 0);
}

void BandReceiver::takeUp(int tapId, double centreHz, double deviationHz, double levelDb,
                          const std::vector<std::complex<float>>* firstSamples, std::int64_t firstIndex)
{
    const ChannelTap& tap = channelizer_.channel(tapId);
    auto c = std::make_unique<Channel>();
    c->id = nextChannel_++;
    c->tap = tapId;
    c->tapCentreHz = tap.centreHz;
    c->passHz = tap.passHz;
    c->createdS = c->lastRestartS = c->lastPresentS = nowS();
    c->levelDb = levelDb;
    c->sonde = std::make_unique<SondeChannel>(ChannelTiming{rate_, tap.outputRate, tap.decimation, channelizer_.delay()},
                                              centreHz, deviationHz);
    Channel* self = c.get();
    c->sonde->setBlockSink([this, self](const DemodBlock& b, std::int64_t period) { onBlock(*self, b, period); });
    if (eventSink_)
        eventSink_(eventOf(*c, ChannelEvent::Kind::TakenUp));
    if (firstSamples && !firstSamples->empty()) {
        c->sonde->feed(firstSamples->data(), firstSamples->size(), firstIndex);
        // The channel's own tap starts with the next hop, where the probe's samples end.
        c->consumed = firstIndex + static_cast<std::int64_t>(firstSamples->size()) - tap.firstOutput;
    }
    channels_.emplace(c->id, std::move(c));
}

void BandReceiver::onBlock(Channel& c, const DemodBlock& b, std::int64_t period)
{
    const bool good = checksumGood(b);
    const double estimate = blockEbN0Db(b.signal);
    if (std::isfinite(estimate)) {
        c.ebN0.push_back(estimate);
        if (c.ebN0.size() > kEbN0Blocks)
            c.ebN0.pop_front();
    }
    if (good) {
        ++c.good;
        c.lastGoodS = double(period) / kPeriodRate;
        const int id = transmitterOf(b);
        if (id >= 0) {
            c.transmitterId = id;
            // The same sonde in two channels (its image, or found twice): the weaker goes.
            for (auto& [otherId, other] : channels_) {
                if (other.get() == &c || other->transmitterId != id || other->lastGoodS < c.lastGoodS - kSameSondeS)
                    continue;
                Channel& weaker = other->levelDb < c.levelDb ? *other : c;
                weaker.doomed = "the same sonde as channel " + std::to_string(&weaker == &c ? otherId : c.id);
            }
        }
    } else {
        ++c.bad;
    }
    if (blockSink_)
        blockSink_(c.id, b, period, c.frequencyHz());
}

void BandReceiver::lose(int id, const std::string& reason)
{
    auto it = channels_.find(id);
    if (it == channels_.end())
        return;
    ChannelEvent e = eventOf(*it->second, ChannelEvent::Kind::Lost);
    e.reason = reason;
    channelizer_.removeChannel(it->second->tap);
    channels_.erase(it);
    if (eventSink_)
        eventSink_(e);
}

std::vector<ChannelStatus> BandReceiver::channels() const
{
    std::vector<ChannelStatus> out;
    for (const auto& [id, c] : channels_) {
        ChannelStatus s;
        s.channel = id;
        s.frequencyHz = c->frequencyHz();
        s.deviationHz = c->sonde->deviationHz();
        s.levelDb = c->levelDb;
        s.goodBlocks = c->good;
        s.badBlocks = c->bad;
        s.lastGoodS = c->lastGoodS;
        s.transmitterId = c->transmitterId;
        std::vector<double> e(c->ebN0.begin(), c->ebN0.end());
        if (e.empty()) {
            s.ebN0Db = std::numeric_limits<double>::quiet_NaN();
        } else {
            std::nth_element(e.begin(), e.begin() + static_cast<long>(e.size() / 2), e.end());
            s.ebN0Db = e[e.size() / 2];
        }
        out.push_back(s);
    }
    return out;
}

}  // namespace nimbra::iq
