// Packet framer: turns the demodulators' byte stream into GPS blocks ('$' 'R' 'T' '1'|'2') and
// PTU blocks ('$' 'R' 'M'), assembles the GPS fields as they arrive, ends each block from its
// length field, tests its CRC-16 and counts it as good or bad.
//
// In:  one byte (0..255) per call, from the byte framer or the Pattern demodulator.
// Out: TelemetryState (framer state, GPS fields, PTU bytes, counters); each finished block goes
//      to updatePacketDisplay (GPS) or DecodePtuBlock (PTU) when it is good or bad blocks are
//      shown, then to the packet listener.
//
// States: 0 idle, 1 after '$', 2 after 'R', 1000 after 'T', 1001..1038 one per GPS byte from
// offset 4 to 41, 1039 rest of a GPS block, 2000 body of a PTU block.

#include <climits>
#include <cstdio>
#include <limits>
#include <utility>

#include "demod/decoder.h"
#include "telemetry/gps_fix.h"

namespace nimbra {

namespace {

constexpr int kIdle = 0;
constexpr int kGotDollar = 1;
constexpr int kGotR = 2;
constexpr int kGotT = 1000;
constexpr int kGpsFirstField = 1001;  // offset 4
constexpr int kGpsFirstRaw = 1007;    // offset 10, the first 32-bit field
constexpr int kGpsLastRaw = 1038;     // offset 41
constexpr int kGpsRest = 1039;
constexpr int kPtuBody = 2000;

// A GPS block carries 32 bytes of fields and 13 per satellite after offset 10; no receiver
// tracks enough satellites to come near this. A larger length is a corrupted header.
constexpr int kMaxGpsBlockLength = 300;

// 32-bit fields from offset 10 on: index 2 is latitude, 3 longitude, 4 altitude.
constexpr int kLatitudeField = 2;
constexpr int kLongitudeField = 3;
constexpr int kAltitudeField = 4;

}  // namespace

void Decoder::setDiagnosticSink(DiagnosticSink sink) { diagnosticSink_ = std::move(sink); }

void Decoder::writeDiagnostic(const char* line)
{
    if (diagnosticSink_)
        diagnosticSink_(line);
    else
        std::fprintf(stderr, "%s\n", line);
}

void Decoder::ProcessPacketByte(int byte)
{
    TelemetryState& t = telemetry;
    byte &= 0xFF;

    CrcAddByte(byte);
    // Between packets the count runs on until the next '$'; a receiver left on a signal that
    // never sends one would overflow it after 2^31 bytes (26 days), so it saturates.
    if (t.packetByteCount < INT_MAX)
        t.packetByteCount += 1;

    const int state = t.framerState;
    if (state == kIdle && byte == '$')
        packetBytesStored_ = 0;
    if ((state != kIdle || byte == '$') && packetBytesStored_ < kMaxPacketBytes)
        packetBytes_[packetBytesStored_++] = static_cast<std::uint8_t>(byte);

    switch (state) {
    case kIdle:
        if (byte == '$') {
            dollarArrival_ = samplesConsumed_;
            t.crcRegister = 0;
            t.packetByteCount = 1;
            CrcAddByte('$');
            t.framerState = kGotDollar;
        }
        break;
    case kGotDollar:
        t.framerState = byte == 'R' ? kGotR : kIdle;
        break;
    case kGotR:
        if (byte == 'T') {
            t.framerState = kGotT;
        } else if (byte == 'M') {
            t.ptuByteCount = 0;
            t.ptuExpectedLength = 99;
            t.framerState = kPtuBody;
        } else {
            // Real blocks always have 'T' or 'M' here; waiting on would swallow the next header.
            t.framerState = kIdle;
        }
        break;
    case kGotT:
        if (byte == '1' || byte == '2') {
            t.blockKind = 1;
            t.framerState = kGpsFirstField;
        } else {
            t.framerState = kIdle;
        }
        break;
    // The 16-bit fields are published whole, at their second byte: the window reads
    // transmitterId from another thread and must never see the high byte alone (0x1A00 on the
    // way to 0x1A2B). The high byte waits in rawField, which is free until offset 10. The end
    // test cannot fire before offset 9 either way, so nothing else changes.
    case 1001:
    case 1003:
    case 1005:
        t.rawField = static_cast<std::uint32_t>(byte) << 8;
        t.framerState = state + 1;
        break;
    case 1002:
        t.transmitterId = static_cast<std::uint16_t>(t.rawField + static_cast<std::uint32_t>(byte));
        t.framerState = state + 1;
        break;
    case 1004:
        t.timeCounter = static_cast<std::uint16_t>(t.rawField + static_cast<std::uint32_t>(byte));
        t.framerState = state + 1;
        break;
    case 1006:
        t.blockLength = static_cast<std::uint16_t>(t.rawField + static_cast<std::uint32_t>(byte));
        if (t.blockLength > kMaxGpsBlockLength) {
            // Counted now instead of holding the framer for up to 65,547 bytes, during which
            // every following header would be lost.
            finishBlock(1, false);
            return;
        }
        t.framerState = state + 1;
        break;
    case kPtuBody:
        t.blockKind = 2;
        if (t.ptuByteCount < TelemetryState::kPtuBytes)
            t.ptuBytes[t.ptuByteCount] = byte;
        if (t.ptuByteCount == 6)
            t.ptuExpectedLength = byte + 12;
        if (t.ptuByteCount < TelemetryState::kPtuBytes)
            t.ptuByteCount += 1;
        break;
    default:
        if (state >= kGpsFirstRaw && state <= kGpsLastRaw) {
            const int position = (state - kGpsFirstRaw) % 4;
            const int field = (state - kGpsFirstRaw) / 4;
            t.rawField = position == 0 ? static_cast<std::uint32_t>(byte)
                                       : (t.rawField << 8) | static_cast<std::uint32_t>(byte);
            if (position == 3) {
                if (field == kLatitudeField)
                    t.latitude = gpsAngleFromRaw(t.rawField);
                else if (field == kLongitudeField)
                    t.longitude = gpsAngleFromRaw(t.rawField);
                else if (field == kAltitudeField)
                    t.altitude = gpsAltitudeFromRaw(t.rawField);
            }
            t.framerState = state + 1;
        } else if (state == kGpsRest) {
            // Satellite records and the checksum: counted and checksummed only.
        } else {
            writeDiagnostic("***DEFAULT***");
            t.framerState = kIdle;
            t.blockKind = 0;
        }
        break;
    }

    if (t.blockKind == 1 && t.packetByteCount >= t.blockLength + 12)
        finishBlock(1, t.crcRegister == 0);
    else if (t.blockKind == 2 && t.packetByteCount >= t.ptuExpectedLength)
        finishBlock(2, t.crcRegister == 0);
}

void Decoder::finishBlock(int kind, bool crcGood)
{
    TelemetryState& t = telemetry;
    if (crcGood)
        t.goodPackets = t.goodPackets + 1;
    else
        t.badPackets = t.badPackets + 1;
    t.framerState = kIdle;
    t.blockKind = 0;

    // A GPS length beyond the limit ends the block at offset 9: there is nothing to show.
    const bool complete = !(kind == 1 && t.blockLength > kMaxGpsBlockLength);
    lastBlockCrcGood_ = crcGood;
    blockEbN0_ = measuring_ && complete ? measureBlock() : std::numeric_limits<float>::quiet_NaN();
    blockTimingKnown_ = false;
    if (complete && (crcGood || params.updateBadCrcPackets != 0)) {
        if (kind == 1)
            updatePacketDisplay();
        else
            DecodePtuBlock();
    }

    if (packetListener_) {
        PacketEvent event;
        event.kind = kind;
        event.crcGood = crcGood;
        event.bitsRepaired = bitsRepaired_;
        event.bytes = packetBytes_;
        event.length = packetBytesStored_;
        event.sampleIndex = samplesConsumed_;
        event.ebN0Db = blockEbN0_;
        packetListener_(event);
    }
    bitsRepaired_ = 0;
}

}  // namespace nimbra

namespace nimbra {

float Decoder::measureBlock() const
{
    BlockTiming timing;
    if (blockTimingKnown_) {
        timing = blockTiming_;
    } else {
        // A slicer hands over the '$' when the 'R' after it starts: its ten bits plus the few
        // samples the slicer takes to see an edge.
        constexpr double kNominalBitLength = 5.0;
        constexpr double kSlicerDelay = 2.0;
        timing.dollarStart = double(dollarArrival_) - 10.0 * kNominalBitLength - kSlicerDelay;
    }
    return estimateBlockEbN0(history_, samplesConsumed_, packetBytes_, packetBytesStored_, timing);
}

}  // namespace nimbra
