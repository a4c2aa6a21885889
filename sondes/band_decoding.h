// BandDecoding: every sonde of a band from an SDR's samples to lines and fixes: the band
// receiver (iq/band_receiver.h) feeding one decoder and flight tracker per sonde
// (sonde_decoders.h), with what a panel shows of each sonde kept up to date.
//
// In:  complex samples at the band's rate; gaps (breakInput), a new tuning (retuned), a
//      frequency to try (tryAt), the station's position; the end of the input (finish).
// Out: the lines and fixes of every sonde in time order once no earlier block can still come
//      (release); a summary per sonde (its channel, serial, frequency, latest fix, the share of
//      blocks decoded, Eb/N0); the band's spectrum; each channel's decoder for its labels' state;
//      every finished block with its channel; the receiver's events.
//
// One thread drives it. A lost sonde's summary stays (marked lost) for kForgetS after its last
// fix, so the panel keeps a sonde that faded for a moment.
#pragma once

#include <complex>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <vector>

#include "flight/flight_fix.h"
#include "iq/band_receiver.h"
#include "sondes/sonde_decoders.h"

namespace nimbra {

struct SondeSummary {
    int channel = 0;
    unsigned transmitterId = 0;  // 0 before its first fix
    bool hasId = false;
    double offsetHz = 0.0;       // against the tuning
    double frequencyHz = 0.0;    // absolute when the tuning is known, else the offset
    bool absolute = false;
    double deviationHz = 0.0;
    double levelDb = 0.0;
    double ebN0Db = 0.0;         // NaN before a measured block
    int goodBlocks = 0, badBlocks = 0;
    bool lost = false;
    std::optional<FlightFix> latest;  // its newest fix, trusted or not
    double lastFixS = -1.0;           // band seconds of it
};

class BandDecoding {
public:
    static constexpr double kForgetS = 600.0;

    struct Settings {
        double rate = 2400000.0;
        double tunedHz = 0.0;  // NaN: unknown
        iq::ReceiverSettings receiver;
        flight::TrackerSettings tracking;
        SondeDecoders::Configure configure;
        std::optional<std::int64_t> startTimeMs;  // the clock follows the band (a recording)
    };

    explicit BandDecoding(const Settings& settings);

    void process(const std::complex<float>* samples, std::size_t count);
    void breakInput() { receiver_.breakInput(); }
    void retuned(double tunedHz);
    void tryAt(double offsetHz) { receiver_.tryAt(offsetHz); }
    void setStation(float latitude, float longitude, float altitude) { sondes_.setStation(latitude, longitude, altitude); }
    void finish();

    SondeDecoders::Released release();
    std::vector<SondeSummary> summaries() const;
    const iq::BandView& spectrum() const { return receiver_.spectrum(); }
    double rate() const { return receiver_.rate(); }
    double tunedHz() const { return tunedHz_; }
    // Band seconds taken so far.
    double seconds() const { return double(receiver_.periods()) / SondeDecoders::kSampleRate; }
    std::int64_t periods() const { return receiver_.periods(); }
    const Decoder* decoderOf(int channel) const { return sondes_.find(channel); }
    void setPacketSink(SondeDecoders::PacketSink sink) { sondes_.setPacketSink(std::move(sink)); }
    void setEventSink(std::function<void(const iq::ChannelEvent&)> sink) { eventSink_ = std::move(sink); }
    int goodPackets() const { return sondes_.goodPackets(); }
    int badPackets() const { return sondes_.badPackets(); }

private:
    iq::BandReceiver receiver_;
    SondeDecoders sondes_;
    double tunedHz_;
    std::function<void(const iq::ChannelEvent&)> eventSink_;
    std::map<int, SondeSummary> gone_;          // lost sondes, kept a while
    std::map<int, FlightFix> latest_;           // each channel's newest fix
    std::map<int, double> latestS_;
};

}  // namespace nimbra
