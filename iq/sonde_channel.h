// SondeChannel: one sonde's receiver behind the band front end: its channel brought to the
// detector's rate, the tone detector, and the Sync stage that clocks, frames and repairs its
// blocks.
//
// In:  the channelizer's samples of the sonde's channel (channelizer.h), in order, from the
//      first one after the channel was made; the tones found for it (against the channel's
//      centre).
// Out: each finished block (good, repaired, or bad but plainly a transmission) with the band's
//      clock when it finished: 48 kHz periods of band input. Blocks come a fixed latency behind
//      the input, in order.
//
// The mixer and filters of ChannelFilter take the channel to 48,000 x M samples/s with the
// sonde at 0 Hz; the ToneDetector's loops then follow the carrier and the mixer is moved in
// steps of 100 Hz to keep it centred. The detector's time base is turned to the band's: detector
// period k stands for band period k + offset. A restart (re-acquisition) makes the filter,
// detector and stage afresh on new tones from the next sample on. The last 0.6 s of channel
// samples are kept for the receiver to search again.
//
// Nothing is allocated per sample once the filters' buffers have grown.
#pragma once

#include <complex>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "demod/character_sink.h"
#include "demod/sync_stage.h"
#include "iq/channel_filter.h"
#include "iq/iq_soft_bits.h"
#include "iq/tone_detector.h"

namespace nimbra::iq {

struct ChannelTiming {
    double bandRate = 0.0;       // the band's input rate
    double tapRate = 0.0;        // the channelizer's output rate for this channel
    int decimation = 1;          // band samples per channel sample
    double tapDelay = 0.0;       // channel sample j stands for band sample j D - tapDelay
};

// The channel a sonde of this deviation needs: half its width, Hz.
double channelHalfWidth(double deviationHz);

class SondeChannel {
public:
    using BlockSink = std::function<void(const DemodBlock& block, std::int64_t period)>;
    static constexpr double kRecentSeconds = 0.6;

    SondeChannel(const ChannelTiming& timing, double centreHz, double deviationHz);
    ~SondeChannel();
    SondeChannel(const SondeChannel&) = delete;
    SondeChannel& operator=(const SondeChannel&) = delete;

    void setBlockSink(BlockSink sink) { sink_ = std::move(sink); }
    // Channel samples, `first` being the global index of samples[0] (each call continues the last).
    void feed(const std::complex<float>* samples, std::size_t count, std::int64_t first);
    // At the end of the input: hands over what the detector can still tell.
    void finish();
    // New tones (against the channel's centre), from the next sample on.
    void restart(double centreHz, double deviationHz);

    // The sonde's tones now: centre against the channel's centre, deviation.
    double centreHz() const;
    double deviationHz() const { return detector_ ? detector_->deviationHz() : pendingDeviation_; }
    // The mixer's frequency against the channel's centre (the part of centreHz() it has taken).
    double mixerHz() const { return filter_ ? filter_->centreHz() : pendingCentre_; }
    std::int64_t periodsOut() const { return next_; }
    // The last kRecentSeconds of channel samples, oldest first.
    std::vector<std::complex<float>> recent() const;
    const ChannelTiming& timing() const { return timing_; }
    const SyncStageState& stage() const { return stage_.state; }

    // The detector's values for the Sync stage's source (iq_soft_bits.h), in band periods.
    float searchValue(std::int64_t period) const;
    double bitValue(double a, double b) const;
    double windowValue(double a, double b) const;

private:
    void start(double centreHz, double deviationHz, std::int64_t firstSample);
    void push(const std::complex<float>* samples, std::size_t count);
    void keepCentred();
    void deliver(std::int64_t upTo);
    void step(std::int64_t period);

    ChannelTiming timing_;
    BlockSink sink_;
    std::unique_ptr<ChannelFilter> filter_;
    std::unique_ptr<ToneDetector> detector_;
    double offset_ = 0.0;  // band period minus detector period
    std::vector<std::complex<float>> filtered_;
    std::vector<float> searchValues_;  // by detector period, a ring
    std::int64_t next_ = -1;           // the next band period to hand to the stage
    bool restartPending_ = false;
    double pendingCentre_ = 0.0, pendingDeviation_ = 0.0;
    // Recent channel samples: a ring.
    std::vector<std::complex<float>> recent_;
    std::size_t recentHead_ = 0;
    bool recentFull_ = false;

    IqSoftBits<SondeChannel> source_;
    SyncStage<IqSoftBits<SondeChannel>> stage_;
};

}  // namespace nimbra::iq
