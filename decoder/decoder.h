// Decoder: the whole signal chain in one object, from audio samples to fixes and decoded-text
// lines. A thin owner of the stages that wires them one way and keeps the shared display state:
//
//   samples -> Demodulator (conditioning; Edge/Level slicer, Pattern or Sync)   demod/
//           -> characters -> PacketFramer (blocks, CRC-16)                     telemetry/
//           -> GPS fields as they arrive (gps_block.h), PTU block (ptu_block.h)
//           -> FixStage (plausibility, geometry, motion, the line)
//           -> accumulators, fix and packet listeners
//
// In:  samples of the receiver's discriminator audio at 48,000 samples/s, one 32-bit float per
//      sample holding a 16-bit PCM value, through ProcessSample (or characters through
//      ProcessPacketByte).
// Out: TelemetryState (labels), ScopeBuffer (scope view), decoded-text lines in the two
//      accumulators, and the optional listeners for each accepted fix and each finished block.
//
// Threads: one thread at a time drives the decoder (calls the entries and the setters); other
// threads may read `params`, `telemetry` and `scope` (relaxed atomics) and drain the
// accumulators (locked) at any time.
//
// Cost: per sample the path allocates, locks and formats nothing. Per finished block the packet
// listener is called. Per accepted fix (at most a few a second) the line is formatted into a
// fixed buffer, appended to the accumulators under their locks (which may grow their text), and
// the fix listener is called; what listeners do runs on the decoding thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>

#include "demod/character_sink.h"
#include "demod/decoder_parameters.h"
#include "demod/demodulator.h"
#include "demod/input_level.h"
#include "demod/sample_history.h"
#include "demod/scope_buffer.h"
#include "demod/signal_quality.h"
#include "telemetry/fix_record.h"
#include "telemetry/fix_stage.h"
#include "telemetry/packet_event.h"
#include "telemetry/packet_framer.h"
#include "telemetry/telemetry_state.h"
#include "telemetry/text_accumulator.h"

namespace nimbra {

class Decoder final : private CharacterSink {
public:
    // Milliseconds since 1970-01-01 UTC; replaceable so tests and recordings fix the time.
    using Clock = FixStage::Clock;
    using FixListener = std::function<void(const FixRecord&)>;
    using PacketListener = std::function<void(const PacketEvent&)>;
    // Sees every character a demodulator hands to the packet framer, just before the framer.
    using ByteTap = std::function<void(int)>;
    // Receives the framer's trace lines ("***DEFAULT***"); without a sink they go to stderr.
    using DiagnosticSink = std::function<void(const char*)>;

    Decoder();
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    DecoderParameters params;
    TelemetryState telemetry;
    ScopeBuffer scope;
    TextAccumulator decodedDisplayText;  // every line
    TextAccumulator decodedRecordText;   // the lines made while recordDecodedText is set
    // The input's level over the last half second, for display (readable from any thread); only
    // while the signal is measured.
    InputLevel inputLevel;
    // The station's position from its own GPS (a chase car), while it has one: the look angles
    // are taken from here instead of from params' userLat, userLon and userAlt, which stay the
    // position the user typed in (and is stored). Written by the GUI thread, read per fix.
    struct LiveStation {
        Relaxed<int> on{0};
        Relaxed<float> latitude{0.0f}, longitude{0.0f}, altitude{0.0f};
    } liveStation;

    // The per-sample entry.
    void ProcessSample(float sample);
    // Raw signed 16-bit samples, each fed through ProcessSample in order.
    void ProcessSamples(const std::int16_t* samples, std::size_t count);
    // The samples break off here and what comes next does not continue them (live capture was
    // lost and comes back later). Pushes out what the demodulators still hold from before the
    // break (the slicer's last run; kGapFlushSamples of silence through the Pattern and Sync
    // demodulators), so that every block completed before it is decoded, and ends a block still
    // open as bad and incomplete. No bad block is shown meanwhile, even while bad-checksum blocks
    // are: a block cut by the break never becomes a fix. See decoder/stream_gap.cpp.
    void interruptStream();
    static constexpr int kGapFlushSamples = 15000;  // the longest look-ahead (Pattern's window)

    // A block from a demodulator outside the decoder (the SDR receiver, iq/), handed on as the
    // decoder's own block demodulators hand on theirs. `sampleIndex` is that demodulator's clock
    // when the block finished, 48,000 to the second: it stands in for samplesConsumed() meanwhile.
    void ProcessBlock(const DemodBlock& block, std::int64_t sampleIndex);

    // The packet framer's byte entry (0..255) and its checksum register step.
    void ProcessPacketByte(int byte);
    void CrcAddByte(int byte);
    // What the framer's finished blocks go to when they are to be shown: the fix stage for the
    // GPS block just finished, the PTU decoding for the PTU block just finished.
    void updatePacketDisplay();
    void DecodePtuBlock();

    void setClock(Clock clock);
    void setFixListener(FixListener listener);
    void setPacketListener(PacketListener listener);
    void setByteTap(ByteTap tap);
    void setDiagnosticSink(DiagnosticSink sink);
    // Measures the signal for display: the input level and a per-block Eb/N0 estimate in
    // FixRecord and PacketEvent. Off by default: it keeps the last 1.4 s of input, which costs
    // some thirty instructions a sample and some tens of microseconds a block.
    void setSignalMeasurement(bool on);

    // The stages, for tests and diagnostics.
    const Demodulator& demodulator() const { return demodulator_; }
    const PacketFramer& framer() const { return framer_; }
    // Samples taken so far (FixRecord::sampleIndex).
    std::int64_t samplesConsumed() const
    {
        return externalIndex_ >= 0 ? externalIndex_ : demodulator_.samplesConsumed();
    }

private:
    // CharacterSink: what the demodulators hand on.
    void character(int character) override;
    void block(const DemodBlock& block) override;

    void finishBlock();
    float measureBlock() const;
    FixSettings fixSettings() const;
    void writeDiagnostic(const char* line);

    Demodulator demodulator_;
    PacketFramer framer_;
    FixStage fixStage_;
    Clock clock_;
    FixListener fixListener_;
    PacketListener packetListener_;
    ByteTap byteTap_;
    DiagnosticSink diagnosticSink_;
    // The demodulator's account of the block whose characters are being handed on: set while a
    // block demodulator hands on a block, empty for the slicers' characters.
    int bitsRepaired_ = 0;
    BlockSignal blockSignal_;
    std::int64_t externalIndex_ = -1;  // set during ProcessBlock
    BlockTiming blockTiming_;
    bool blockTimed_ = false;
    // Signal measurement.
    bool measuring_ = false;
    SampleHistory history_;          // the raw input (written by the demodulator while measuring)
    std::int64_t dollarArrival_ = 0; // samples taken when the framer last began a block
    float blockEbN0_ = std::numeric_limits<float>::quiet_NaN();  // of the block being finished
    bool interrupting_ = false;  // inside interruptStream: bad blocks are counted, never shown
};

}  // namespace nimbra
