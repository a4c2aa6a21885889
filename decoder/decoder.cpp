#include "decoder/decoder.h"

#include <chrono>
#include <cstdio>
#include <limits>
#include <utility>

#include "telemetry/gps_block.h"
#include "telemetry/ptu_block.h"

namespace nimbra {

namespace {

std::int64_t systemClockMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

}  // namespace

Decoder::Decoder() : demodulator_(params, scope, *this), clock_(systemClockMs) {}

// ---- Entries ---------------------------------------------------------------------------------

void Decoder::ProcessSample(float sample) { demodulator_.process(sample); }

void Decoder::ProcessSamples(const std::int16_t* samples, std::size_t count)
{
    demodulator_.process(samples, count);
}

void Decoder::CrcAddByte(int byte) { framer_.CrcAddByte(byte); }

void Decoder::ProcessPacketByte(int byte)
{
    const bool starts = framer_.state.phase == PacketFramer::Phase::Idle && (byte & 0xFF) == '$';
    if (starts)
        dollarArrival_ = samplesConsumed();
    const PacketFramer::Event event = framer_.push(byte);
    if (event == PacketFramer::Event::None)
        return;
    if (event == PacketFramer::Event::BadState) {
        writeDiagnostic("***DEFAULT***");
        return;
    }
    const FramedBlock b = framer_.block();
    if (b.kind == BlockKind::Gps)
        publishGpsField(b.bytes, b.length, telemetry);
    if (event == PacketFramer::Event::Finished)
        finishBlock();
}

void Decoder::updatePacketDisplay()
{
    const FramedBlock b = framer_.block();
    const FixOrigin origin{b.crcGood, bitsRepaired_, samplesConsumed(), blockEbN0_};
    const FixRecord* fix = fixStage_.update(telemetry, fixSettings(), origin, clock_);
    if (!fix)
        return;
    if (params.recordDecodedText != 0)
        decodedRecordText.appendLine(fix->line);
    decodedDisplayText.appendLine(fix->line);
    if (fixListener_)
        fixListener_(*fix);
}

void Decoder::DecodePtuBlock()
{
    const FramedBlock b = framer_.block();
    if (b.kind == BlockKind::Ptu)
        decodePtuBlock(b.bytes, b.length, telemetry);
}

// ---- Wiring ----------------------------------------------------------------------------------

void Decoder::character(int character)
{
    if (byteTap_)
        byteTap_(character);
    ProcessPacketByte(character);
}

void Decoder::ProcessBlock(const DemodBlock& b, std::int64_t sampleIndex)
{
    externalIndex_ = sampleIndex;
    block(b);
    externalIndex_ = -1;
}

void Decoder::block(const DemodBlock& block)
{
    bitsRepaired_ = block.bitsRepaired;
    blockSignal_ = block.signal;
    blockTiming_ = block.timing;
    blockTimed_ = block.timed;
    for (int i = 0; i < block.length; ++i)
        character(block.bytes[i]);
    bitsRepaired_ = 0;
    blockSignal_ = BlockSignal();
    blockTimed_ = false;
}

// Counts the block, hands it to its decoding when it is to be shown, then to the listener.
void Decoder::finishBlock()
{
    const FramedBlock b = framer_.block();
    if (b.crcGood)
        telemetry.goodPackets = telemetry.goodPackets + 1;
    else
        telemetry.badPackets = telemetry.badPackets + 1;

    blockEbN0_ = measuring_ && b.complete ? measureBlock() : std::numeric_limits<float>::quiet_NaN();

    // A block cut short by an impossible length has nothing to show.
    if (b.complete && (b.crcGood || (params.updateBadCrcPackets != 0 && !interrupting_))) {
        if (b.kind == BlockKind::Gps)
            updatePacketDisplay();
        else
            DecodePtuBlock();
    }

    if (packetListener_) {
        PacketEvent event;
        event.kind = b.kind;
        event.crcGood = b.crcGood;
        event.bitsRepaired = bitsRepaired_;
        event.bytes = b.bytes;
        event.length = b.length;
        event.sampleIndex = samplesConsumed();
        event.signal = blockSignal_;
        event.ebN0Db = blockEbN0_;
        packetListener_(event);
    }
    bitsRepaired_ = 0;
    blockSignal_ = BlockSignal();
}

float Decoder::measureBlock() const
{
    BlockTiming timing;
    if (blockTimed_) {
        timing = blockTiming_;
    } else {
        // A slicer hands over the '$' when the 'R' after it starts: its ten bits plus the few
        // samples the slicer takes to see an edge.
        constexpr double kNominalBitLength = 5.0;
        constexpr double kSlicerDelay = 2.0;
        timing.dollarStart = double(dollarArrival_) - 10.0 * kNominalBitLength - kSlicerDelay;
    }
    const FramedBlock b = framer_.block();
    return estimateBlockEbN0(history_, samplesConsumed(), b.bytes, b.length, timing);
}

FixSettings Decoder::fixSettings() const
{
    FixSettings s;
    s.rejectBogus = params.rejectBogus != 0;
    s.maxRangeKm = params.maxRange;
    const bool live = liveStation.on.load() != 0;
    s.stationLat = live ? liveStation.latitude.load() : params.userLat.load();
    s.stationLon = live ? liveStation.longitude.load() : params.userLon.load();
    s.stationAlt = live ? liveStation.altitude.load() : params.userAlt.load();
    s.appendPsu = params.displayPsuData != 0;
    s.appendCalibration = params.displayCalibrationData != 0;
    return s;
}

void Decoder::writeDiagnostic(const char* line)
{
    if (diagnosticSink_)
        diagnosticSink_(line);
    else
        std::fprintf(stderr, "%s\n", line);
}

// ---- Set-up ----------------------------------------------------------------------------------

void Decoder::setClock(Clock clock) { clock_ = clock ? std::move(clock) : Clock(systemClockMs); }
void Decoder::setFixListener(FixListener listener) { fixListener_ = std::move(listener); }
void Decoder::setPacketListener(PacketListener listener) { packetListener_ = std::move(listener); }
void Decoder::setByteTap(ByteTap tap) { byteTap_ = std::move(tap); }
void Decoder::setDiagnosticSink(DiagnosticSink sink) { diagnosticSink_ = std::move(sink); }

void Decoder::setSignalMeasurement(bool on)
{
    measuring_ = on;
    demodulator_.setMeasurement(on ? &history_ : nullptr, on ? &inputLevel : nullptr);
}

}  // namespace nimbra
