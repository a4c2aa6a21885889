// SondeDecoders: one decoder and one flight tracker per sonde, so that nothing of one sonde
// reaches another's fixes, track or prediction, and their lines and fixes merged in time order.
//
// In:  blocks from the SDR receiver, each with its channel, its finish time (48 kHz periods of
//      input) and the channel's frequency; or receiver audio fed to one decoder (channel 0)
//      through decoder(0). Each channel's decoder is made on first use with the same settings.
// Out: the decoded-text lines and the FlightFixes (trusted, phase, prediction, channel and
//      frequency) of every channel, in the order their blocks finished, handed out once no
//      block can still come before them (release()).
//
// The tracker's time is the block's time (period / 48,000), as with a single sonde; with a start
// time the decoders' clock follows the band's (the period being decoded), so that a line's time
// stamp is that of its block. A channel that is dropped (its sonde lost) keeps what it made until
// released; its decoder and tracker go, so memory stays flat while sondes come and go.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "decoder/decoder.h"
#include "flight/flight_fix.h"
#include "flight/flight_tracker.h"

namespace nimbra {

class SondeDecoders {
public:
    static constexpr int kSampleRate = 48000;
    using Configure = std::function<void(Decoder&)>;
    using PacketSink = std::function<void(int channel, const PacketEvent& block)>;

    struct Released {
        std::vector<std::string> lines;  // without their carriage returns
        std::vector<FlightFix> fixes;
    };

    // `configure` sets each new decoder's parameters; `startTimeMs` (ms since 1970) makes the
    // clock follow the input; `keepTrack` keeps every trusted fix for the track files.
    SondeDecoders(Configure configure, const flight::TrackerSettings& tracking,
                  std::optional<std::int64_t> startTimeMs, bool keepTrack);
    ~SondeDecoders();

    // The tuned frequency (Hz), for each fix's frequencyHz, of sondes made from now on; NaN:
    // unknown.
    void setTunedHz(double hz) { tunedHz_ = hz; }

    // The channel's decoder (made now if it is new).
    Decoder& decoder(int channel);
    // The channel's decoder if it has one (for its labels' state), else null.
    const Decoder* find(int channel) const;
    // Every finished block of every channel's decoder, on the decoding thread, as it finishes.
    void setPacketSink(PacketSink sink) { packetSink_ = std::move(sink); }
    // The station's position for every decoder's look angles, now and for decoders made later (a
    // station that moves: its GPS).
    void setStation(float latitude, float longitude, float altitude);
    // The decoders' clock: the input time being decoded, in periods (for receiver audio, the
    // samples fed so far).
    void setNow(std::int64_t period) { now_ = period; }
    // A block of a channel, decoded now.
    void feedBlock(int channel, const DemodBlock& block, std::int64_t period, double offsetHz);
    // Takes what channel 0 made from audio since the last call, stamped with the current time.
    void collect(int channel);
    // The channel's sonde is gone: its decoder and tracker are dropped.
    void drop(int channel);

    // Everything that finished at or before `period`, in time order.
    Released release(std::int64_t period);

    const std::vector<FlightFix>& track() const { return track_; }
    int goodPackets() const;
    int badPackets() const;

private:
    struct Sonde;
    struct Item {
        std::int64_t period = 0;
        std::uint64_t order = 0;
        bool isLine = true;
        std::string line;
        FlightFix fix;
    };
    Sonde& sonde(int channel);
    void take(Sonde& s, std::int64_t period);

    Configure configure_;
    PacketSink packetSink_;
    flight::TrackerSettings tracking_;
    std::optional<std::int64_t> startTimeMs_;
    bool keepTrack_;
    double tunedHz_;
    bool stationSet_ = false;
    float stationLat_ = 0.0f, stationLon_ = 0.0f, stationAlt_ = 0.0f;
    std::int64_t now_ = 0;
    std::map<int, std::unique_ptr<Sonde>> sondes_;
    std::vector<Item> pending_;
    std::uint64_t order_ = 0;
    std::vector<FlightFix> track_;
    int goodGone_ = 0, badGone_ = 0;  // counts of dropped decoders
};

}  // namespace nimbra
