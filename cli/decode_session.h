// DecodeSession: one run of the decoder over one input, as nimbra-decode drives it.
//
// In:  CliOptions (decoder parameters, start time, tracking) and blocks of 48 kHz samples in
//      PCM units (receiver audio), or the SDR receiver's blocks with their channel.
// Out: the decoded-text lines (taken from each decoder's display accumulator, exactly as the
//      desktop program's WAVE path takes them) and every accepted fix as the flight tracker
//      marks it (trusted, phase, landing prediction) for CSV, JSON Lines and the track files;
//      with SDR input one decoder and tracker per sonde (sondes/sonde_decoders.h), their lines
//      and fixes in the order their blocks finished.
//
// The tracker's time is the sample time of the fix (FixRecord::sampleIndex / 48000), whatever
// --start-time says: the continuity check compares it with the sonde's time counter.
//
// Audio samples are rounded and clipped to 16 bits and fed through Decoder::ProcessSamples, the
// entry the desktop program's file decoding uses. With a start time the decoder's clock follows
// the position in the recording: samples are then fed in 1 ms pieces so that a line's time stamp
// is the time of the sample that completed it, to the millisecond.
#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "cli/options.h"
#include "decoder/decoder.h"
#include "flight/flight_fix.h"
#include "sondes/sonde_decoders.h"

namespace nimbra::cli {

class DecodeSession {
public:
    static constexpr int kSampleRate = 48000;

    explicit DecodeSession(const CliOptions& options);

    void feed(const std::vector<float>& samples);
    // A block from the SDR receiver's channel, finished at `period` of its 48 kHz clock.
    void feedBlock(int channel, const DemodBlock& block, std::int64_t period, double offsetHz);
    // The channel's sonde is lost: its decoder goes (what it made is still handed out).
    void dropChannel(int channel) { sondes_.drop(channel); }
    // The station's position (its GPS), for every fix's look angles from now on.
    void setStation(float latitude, float longitude, float altitude) { sondes_.setStation(latitude, longitude, altitude); }
    // The radio's tuning, for the frequency of the fixes of sondes taken up from now on.
    void setTunedHz(double hz) { sondes_.setTunedHz(hz); }
    // Lines and fixes of blocks that finished after this period are held back (another channel
    // may still hand over an earlier block).
    void setSettled(std::int64_t period) { settled_ = period; }
    // Lines completed since the last call, without their carriage return, in order.
    std::vector<std::string> takeLines();
    // Fixes accepted since the last call, in order. With a track file to write, the trusted ones
    // also stay in fixes() (with each sonde's latest prediction's path only); without, nothing
    // is kept, so a live station runs in constant memory.
    std::vector<FlightFix> takeNewFixes();
    const std::vector<FlightFix>& fixes() const { return sondes_.track(); }

    int goodPackets() const { return sondes_.goodPackets(); }
    int badPackets() const { return sondes_.badPackets(); }
    const DecoderParameters& params() const { return reference_->params; }

private:
    void release();

    SondeDecoders sondes_;
    Decoder* reference_;  // channel 0: receiver audio, and the parameters every decoder has
    std::vector<std::int16_t> pcm_;
    std::vector<std::string> lines_;
    std::vector<FlightFix> fixes_;
    std::int64_t samplesFed_ = 0;  // samples handed to the decoder, up to the current piece's end
    std::int64_t settled_ = std::numeric_limits<std::int64_t>::max();
    bool followRecording_ = false;
};

}  // namespace nimbra::cli
