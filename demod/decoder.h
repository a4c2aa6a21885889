// Decoder: the whole signal chain, from audio samples to decoded-text lines, in one object.
//
// In:  samples of the receiver's discriminator audio at 48,000 samples/s, one 32-bit float per
//      sample holding a 16-bit PCM value, through ProcessSample.
// Out: TelemetryState (labels), ScopeBuffer (scope view), decoded-text lines in the two
//      accumulators, and optional listeners for each accepted fix and each finished block.
//
// The program uses the one process-wide instance (globalDecoder()); tests make fresh ones. All
// state is fixed-size and lives in the object: ProcessSample allocates, locks and formats nothing.
// One thread at a time drives the decoder; other threads may read `params`, `telemetry` and
// `scope` (relaxed atomics) and drain the accumulators (locked).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>

#include "demod/decoder_parameters.h"
#include "demod/demod_state.h"
#include "demod/input_level.h"
#include "demod/sample_history.h"
#include "demod/scope_buffer.h"
#include "demod/signal_quality.h"
#include "telemetry/telemetry_state.h"
#include "telemetry/text_accumulator.h"

namespace nimbra {

// One accepted fix, as the line was made. Handed to the fix listener on the decoding thread.
struct FixRecord {
    std::int64_t timeMs = 0;  // time stamp of the line, ms since 1970-01-01 UTC
    unsigned transmitterId = 0;
    unsigned timeCounter = 0;   // seconds
    float latitude = 0.0f;      // degrees, signed
    float longitude = 0.0f;     // degrees, signed
    float altitude = 0.0f;      // metres
    float azimuth = 0.0f;       // degrees
    float elevation = 0.0f;     // degrees
    float range = 0.0f;         // km
    float ascent = 0.0f;        // m/s, after this fix's motion update
    float velocity = 0.0f;      // m/s
    float direction = 0.0f;     // degrees
    bool crcGood = true;        // false only while bad-checksum blocks are shown
    int bitsRepaired = 0;       // bits a demodulator flipped to make the checksum good
    bool hasPtu = false;        // ptuChannels hold the latest decoded PTU block
    float ptuChannels[TelemetryState::kPtuChannels] = {};
    const char* line = nullptr;  // the decoded-text line without its carriage return
    // Samples the decoder had consumed when this fix's block finished: the recording's own
    // clock, free of the jitter of the wall clock.
    std::int64_t sampleIndex = 0;
    // Eb/N0 of the fix's block in dB (see demod/signal_quality.h); NaN when not measured.
    float ebN0Db = std::numeric_limits<float>::quiet_NaN();
};

// One finished block, good or bad, as the framer saw it.
struct PacketEvent {
    int kind = 0;  // 1 GPS, 2 PTU
    bool crcGood = false;
    int bitsRepaired = 0;
    const std::uint8_t* bytes = nullptr;  // from the '$' through the checksum
    int length = 0;                       // bytes stored (at most kMaxPacketBytes)
    std::int64_t sampleIndex = 0;         // samples consumed when the block finished
    float ebN0Db = std::numeric_limits<float>::quiet_NaN();  // as in FixRecord
};

class Decoder {
public:
    static constexpr int kMaxPacketBytes = 4096;

    // Milliseconds since 1970-01-01 UTC; replaceable so tests and recordings fix the time.
    using Clock = std::function<std::int64_t()>;
    using FixListener = std::function<void(const FixRecord&)>;
    using PacketListener = std::function<void(const PacketEvent&)>;

    Decoder();
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    DecoderParameters params;
    TelemetryState telemetry;
    ScopeBuffer scope;
    TextAccumulator decodedDisplayText;
    TextAccumulator decodedRecordText;
    // The input's level over the last half second, for display (readable from any thread); only
    // while the signal is measured (setSignalMeasurement).
    InputLevel inputLevel;

    // The per-sample entry.
    void ProcessSample(float sample);
    // Raw signed 16-bit samples, each fed through ProcessSample in order.
    void ProcessSamples(const std::int16_t* samples, std::size_t count);

    // The packet framer's byte entry (0..255) and the CRC-16/XMODEM register step.
    void ProcessPacketByte(int byte);
    void CrcAddByte(int byte);
    // Called by the framer for each finished block that is to be shown.
    void updatePacketDisplay();
    void DecodePtuBlock();

    void setClock(Clock clock);
    void setFixListener(FixListener listener);
    void setPacketListener(PacketListener listener);
    // Set by a demodulator before it feeds a block whose bits it repaired.
    void setBitsRepaired(int bits) { bitsRepaired_ = bits; }
    // Samples through ProcessSample so far; for the thread that drives the decoder.
    std::int64_t samplesConsumed() const { return samplesConsumed_; }
    // Measures the signal for display: the input level and a per-block Eb/N0 estimate in
    // FixRecord and PacketEvent. Off by default: it keeps the last 1.4 s of input, which costs
    // some thirty instructions a sample and some tens of microseconds a block.
    void setSignalMeasurement(bool on) { measuring_ = on; }
    // Set by a block demodulator before it feeds a block: where the block lay in the input.
    // Without it, a block is taken to start 10 bits before its '$' reached the framer.
    void setBlockTiming(const BlockTiming& timing)
    {
        blockTiming_ = timing;
        blockTimingKnown_ = true;
    }

    // Sees every character a demodulator hands to the packet framer, just before the framer.
    using ByteTap = std::function<void(int)>;
    void setByteTap(ByteTap tap);

    // Receives the framer's trace lines ("***DEFAULT***"); without a sink they go to stderr.
    using DiagnosticSink = std::function<void(const char*)>;
    void setDiagnosticSink(DiagnosticSink sink);

private:
    friend struct DemodAccess;

    DemodState demod_;  // filter, slicer, byte framer, Pattern demodulator state
    ByteTap byteTap_;

    // Demodulator helpers (demod/*.cpp).
    void emitCharacter(int character);  // every demodulated character goes through here
    void slicerSample(float s, int demodType);
    void patternSample(float s);
    void patternCapture(float samplesPerBit);
    void processSyncSample(float s);  // demodType 3; see demod/sync_demod_hook.cpp
    void writeScope(int sample, int decision);

    Clock clock_;
    std::int64_t samplesConsumed_ = 0;  // every sample through ProcessSample, this one included
    SampleHistory history_;             // the raw input, for the block quality and the level
    int levelCountdown_ = InputLevel::kInterval;
    bool measuring_ = false;
    BlockTiming blockTiming_;
    bool blockTimingKnown_ = false;
    std::int64_t dollarArrival_ = 0;    // samplesConsumed_ when the framer last saw a block's '$'
    float blockEbN0_ = std::numeric_limits<float>::quiet_NaN();  // of the block being finished
    FixListener fixListener_;
    PacketListener packetListener_;
    int bitsRepaired_ = 0;
    bool lastBlockCrcGood_ = true;
    std::uint8_t packetBytes_[kMaxPacketBytes] = {};
    int packetBytesStored_ = 0;  // bytes of the current block in packetBytes_
    DiagnosticSink diagnosticSink_;

    // Telemetry helpers (telemetry/*.cpp).
    void finishBlock(int kind, bool crcGood);
    float measureBlock() const;
    void writeDiagnostic(const char* line);
};

// The process-wide instance that the program's live and file decoding share.
Decoder& globalDecoder();

}  // namespace nimbra
