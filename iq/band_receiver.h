// BandReceiver: the SDR receiver for a whole band: every sonde in it found, confirmed, decoded
// in a channel of its own, and let go when it falls silent.
//
// In:  complex samples at the band's rate (48 kS/s to 10 MS/s), in blocks of any size.
// Out: each finished block with its channel, the band's clock when it finished (48 kHz periods
//      of input) and the channel's frequency; an event when a channel is taken up, acquires
//      again or is lost; the band's spectrum every quarter second.
//
// The chain: BandConditioner (DC, I/Q balance) -> Channelizer (one FFT of the band per hop) ->
// BandSpectrum (a view each quarter second) -> candidates (band_candidates.h) -> probes: a
// channel of the candidate's width, 0.6 s of it searched for a pair of tones that passes as a
// sonde (tone_pair_search.h); probes whose spans overlap are judged together, the widest pair
// that passes first (one hump of a wide sonde can pass as a narrow pair) -> SondeChannel
// (filter, detector, Sync stage), fed from the probe's first sample, so the block that made the
// sonde show is decoded too.
//
// Channels are watched on the band's clock:
//   - a channel that has yielded no good block for kReacquireS (kFirstReacquireS before its first)
//     while its signal stands above the noise searches its last 0.6 s again; tones that differ
//     from those it follows replace them (a wrong estimate never sticks);
//   - a channel with no good block for lostAfterS is lost; one that never yielded a good block
//     is lost once its signal has been gone for kGoneS;
//   - two channels whose good blocks carry the same identifier are one sonde seen twice (its
//     image): the weaker is lost.
// At most maxSondes channels; probes run beside them, a few at a time, each place in the band
// tried again after a second (its alternatives in turn) while it shows without becoming one.
#pragma once

#include <complex>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "demod/character_sink.h"
#include "iq/band_candidates.h"
#include "iq/band_conditioner.h"
#include "iq/band_spectrum.h"
#include "iq/channelizer.h"
#include "iq/sonde_channel.h"
#include "iq/tone_pair_search.h"

namespace nimbra::iq {

struct ReceiverSettings {
    int maxSondes = 8;
    int maxProbes = 4;
    double lostAfterS = 60.0;
};

struct ChannelEvent {
    enum class Kind { TakenUp, Reacquired, Lost };
    Kind kind = Kind::TakenUp;
    int channel = 0;
    double frequencyHz = 0.0;  // the tones' centre against the tuning
    double deviationHz = 0.0;
    double levelDb = 0.0;      // the tones above the noise
    std::string reason;        // why it was lost
    int goodBlocks = 0;
    double timeS = 0.0;        // band seconds when it happened
};

struct ChannelStatus {
    int channel = 0;
    double frequencyHz = 0.0;
    double deviationHz = 0.0;
    double levelDb = 0.0;
    int goodBlocks = 0, badBlocks = 0;
    double lastGoodS = -1.0;   // band seconds of the last good block, -1 before the first
    int transmitterId = -1;    // from its last good GPS block
    double ebN0Db = 0.0;       // the median of its last blocks' estimates (blockEbN0Db); NaN before
};

// An estimate of a block's Eb/N0 from the spread of its bits' soft values (BlockSignal): the
// squared mean over the variance, calibrated on the synthesizer's IQ channel; NaN without values.
double blockEbN0Db(const BlockSignal& signal);

class BandReceiver {
public:
    using BlockSink = std::function<void(int channel, const DemodBlock& block, std::int64_t period, double frequencyHz)>;
    using EventSink = std::function<void(const ChannelEvent& event)>;
    using SpectrumSink = std::function<void(const BandView& view)>;

    static constexpr double kReacquireS = 4.0;
    static constexpr double kFirstReacquireS = 2.0;  // before a channel's first good block
    static constexpr double kGoneS = 10.0;
    static constexpr double kRetryS = 1.0;

    explicit BandReceiver(double rate, ReceiverSettings settings = {});
    ~BandReceiver();
    BandReceiver(const BandReceiver&) = delete;
    BandReceiver& operator=(const BandReceiver&) = delete;

    void setBlockSink(BlockSink sink) { blockSink_ = std::move(sink); }
    void setEventSink(EventSink sink) { eventSink_ = std::move(sink); }
    void setSpectrumSink(SpectrumSink sink) { spectrumSink_ = std::move(sink); }

    void process(const std::complex<float>* samples, std::size_t count);
    // At the end of the input: what the channels still hold.
    void finish();
    // The input breaks off (the radio lost samples, or was gone): no block is spliced across the
    // break. Every channel hands over what it can tell from before it and starts afresh on its
    // tones; probes start again.
    void breakInput();
    // The radio moved to another part of the band: every channel is lost ("the radio moved"),
    // probes and the retry schedule start afresh; the clock goes on.
    void retuned();

    // A channel on these tones from now on, as if the search had found them (a sonde whose
    // frequency the user knows); the watch corrects them like any other. Returns its number, or
    // 0 when the tones overlap a channel or maxSondes are taken.
    int addChannel(double frequencyHz, double deviationHz);
    // Searches here at once for a sonde (a signal the user points at), whatever the retry
    // schedule says; the probe's span is the region the spectrum shows there, or 20 kHz.
    void tryAt(double frequencyHz);

    double rate() const { return rate_; }
    // The band's clock: 48 kHz periods of input taken.
    std::int64_t periods() const;
    // No block still to come can have finished before this period (for putting the blocks of
    // all channels in time order).
    std::int64_t settledPeriod() const;
    std::vector<ChannelStatus> channels() const;
    const BandView& spectrum() const { return spectrum_.view(); }
    int channelsTakenUp() const { return nextChannel_ - 1; }
    const Channelizer& channelizer() const { return channelizer_; }

private:
    struct Channel;
    struct Probe;
    struct Retry {
        double centreHz = 0.0;
        double nextS = 0.0;
        int attempts = 0;
        double seenS = 0.0;
    };

    void drainTaps();
    void onView(const BandView& view);
    void watch(const BandView& view);
    void probeCandidates(const BandView& view);
    void startProbe(const Span& span, double levelDb);
    TonePair search(const Probe& probe);
    void settleProbes();
    void evaluate(Probe& probe);
    void takeUp(int tap, double centreHz, double deviationHz, double levelDb,
                const std::vector<std::complex<float>>* firstSamples, std::int64_t firstIndex);
    void lose(int channel, const std::string& reason);
    void reacquire(Channel& channel, const BandView& view);
    void onBlock(Channel& channel, const DemodBlock& block, std::int64_t period);
    std::vector<TakenSpan> taken() const;
    double nowS() const;
    ChannelEvent eventOf(const Channel& c, ChannelEvent::Kind kind) const;

    double rate_;
    ReceiverSettings settings_;
    BandConditioner conditioner_;
    Channelizer channelizer_;
    BandSpectrum spectrum_;
    std::vector<std::complex<float>> work_;
    bool viewPending_ = false;
    std::map<int, std::unique_ptr<Channel>> channels_;
    std::vector<std::unique_ptr<Probe>> probes_;
    std::vector<Retry> retries_;
    int nextChannel_ = 1;
    bool finished_ = false;
    BlockSink blockSink_;
    EventSink eventSink_;
    SpectrumSink spectrumSink_;
};

}  // namespace nimbra::iq
