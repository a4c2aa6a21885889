// IqFrontEnd: from the input band to soft values of the sonde's bits, on a continuous time base of
// 48 kHz periods that the bit reader downstream works in.
//
// In:  complex samples at the input rate (48 kS/s to 3.2 MS/s), in blocks of any size.
// Out: one call of the period sink per 48 kHz period of input, in order, a fixed latency behind
//      the input; during each call the sink may ask for the soft value of any recent interval
//      (bitValue, windowValue: see ToneDetector) and reads the period's search value. Without a
//      signal (before the first lock, after a loss) the values are 0.
//
// Stages: the search (SpectrumSearch) looks at every quarter second of input; when it finds the
// tones, the channel filter is set up for them and the detector started on the samples of that
// quarter second, kept for the purpose, so the first block after switching on is not lost. The
// detector's loops then follow the carrier; the oscillator is moved in small steps to keep the
// channel centred (the history turned to match). The search keeps running: a signal gone for two
// seconds, or one found far from the tracked carrier for a second, starts a new lock.
#pragma once

#include <complex>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "iq/channel_filter.h"
#include "iq/spectrum_search.h"
#include "iq/tone_detector.h"

namespace nimbra::iq {

class IqFrontEnd {
public:
    using PeriodSink = std::function<void(std::int64_t period)>;
    // Notes for the user (lock, loss), plain text without newline.
    using NoteSink = std::function<void(const std::string&)>;

    explicit IqFrontEnd(double inputRate);
    ~IqFrontEnd();

    void setPeriodSink(PeriodSink sink) { sink_ = std::move(sink); }
    void setNoteSink(NoteSink sink) { notes_ = std::move(sink); }

    void process(const std::complex<float>* samples, std::size_t count);
    // At the end of the input: hands over the periods still held back by the latency.
    void finish();

    // During a sink call, for the period being handed over and intervals before it (in periods
    // of the sink's time base).
    float searchValue(std::int64_t period) const;
    double bitValue(double a, double b) const;
    double windowValue(double a, double b) const;
    bool locked() const { return detector_ != nullptr; }
    const ToneDetector* detector() const { return detector_.get(); }
    // The channel oscillator's frequency (Hz against the tuning) while locked.
    double channelCentreHz() const;
    std::int64_t periodsOut() const { return next_; }
    int locks() const { return locks_; }

private:
    void lock(const ToneEstimate& e);
    void unlock(const char* why);
    void feedDetector(const std::complex<float>* samples, std::size_t count);
    void keepCentred();
    void deliver(std::int64_t upTo);
    void note(const std::string& text);

    double rate_;
    double periodsPerSample_;
    SpectrumSearch search_;
    std::size_t chunk_;  // input samples fed to the detector at a time
    PeriodSink sink_;
    NoteSink notes_;

    // The input of the interval being searched, for a lock to start from.
    std::vector<std::complex<float>> interval_;
    std::int64_t intervalStart_ = 0;  // input sample index of interval_[0]
    std::int64_t samplesIn_ = 0;

    std::unique_ptr<ChannelFilter> channel_;
    std::unique_ptr<ToneDetector> detector_;
    double offset_ = 0.0;  // sink time minus detector time, periods
    std::vector<std::complex<float>> filtered_;
    std::vector<float> searchValues_;  // by detector period, a ring
    int absentIntervals_ = 0;
    int elsewhereIntervals_ = 0;
    int locks_ = 0;

    std::int64_t next_ = 0;  // the next period to hand over
};

}  // namespace nimbra::iq
