// DecodeSession: one run of the decoder over one input, as nimbra-decode drives it.
//
// In:  CliOptions (decoder parameters, start time) and blocks of 48 kHz samples in PCM units.
// Out: the decoded-text lines (taken from the decoder's display accumulator, exactly as the
//      desktop program's WAVE path takes them) and every accepted fix (from the fix listener)
//      as the flight tracker marks it (trusted, phase, landing prediction) for CSV, JSON Lines
//      and the track files.
//
// The tracker's time is the sample time of the fix (FixRecord::sampleIndex / 48000), whatever
// --start-time says: the continuity check compares it with the sonde's time counter.
//
// Samples are rounded and clipped to 16 bits and fed through Decoder::ProcessSamples, the entry
// the desktop program's file decoding uses. With a start time the decoder's clock follows the
// position in the recording: samples are then fed in 1 ms pieces so that a line's time stamp is
// the time of the sample that completed it, to the millisecond.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cli/options.h"
#include "decoder/decoder.h"
#include "flight/flight_fix.h"
#include "flight/flight_tracker.h"

namespace nimbra::cli {

class DecodeSession {
public:
    static constexpr int kSampleRate = 48000;

    explicit DecodeSession(const CliOptions& options);

    void feed(const std::vector<float>& samples);
    // Lines completed since the last call, without their carriage return, in order.
    std::vector<std::string> takeLines();
    // Fixes accepted since the last call, in order. With a track file to write, the trusted ones
    // also stay in fixes() (with the latest prediction's path only); without, nothing is kept,
    // so a live station runs in constant memory.
    std::vector<FlightFix> takeNewFixes();
    const std::vector<FlightFix>& fixes() const { return track_; }

    int goodPackets() const { return decoder_->telemetry.goodPackets; }
    int badPackets() const { return decoder_->telemetry.badPackets; }
    std::int64_t samplesFed() const { return samplesFed_; }
    const DecoderParameters& params() const { return decoder_->params; }

private:
    std::unique_ptr<Decoder> decoder_;
    std::vector<std::int16_t> pcm_;
    flight::FlightTracker tracker_;
    std::vector<FlightFix> fresh_;  // not yet taken
    std::vector<FlightFix> track_;  // for the track files
    std::string pendingText_;
    std::int64_t samplesFed_ = 0;  // samples handed to the decoder, up to the current piece's end
    bool followRecording_ = false;
    bool keepFixes_ = false;
};

}  // namespace nimbra::cli
