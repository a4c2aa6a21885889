#include "telemetry/packet_framer.h"

#include "block/crc16.h"

namespace nimbra {

void PacketFramer::CrcAddByte(int byte) noexcept
{
    state.crcRegister = crc16ShiftByte(state.crcRegister, static_cast<std::uint8_t>(byte));
}

PacketFramer::Event PacketFramer::finish(bool crcGood, bool complete) noexcept
{
    state.phase = Phase::Idle;
    state.crcGood = crcGood;
    state.complete = complete;
    return Event::Finished;
}

PacketFramer::Event PacketFramer::cut() noexcept
{
    if (state.phase == Phase::Body)
        return finish(false, false);
    state.phase = Phase::Idle;
    return Event::None;
}

PacketFramer::Event PacketFramer::push(int byte) noexcept
{
    State& s = state;
    byte &= 0xFF;
    if (s.phase == Phase::Idle) {
        if (byte != block::kStart)
            return Event::None;
        s.kind = BlockKind::None;
        s.count = 0;
        s.expected = 0;
        s.crcRegister = 0;
    }
    CrcAddByte(byte);
    if (s.count < block::kMaxBlockBytes)
        s.bytes[s.count] = static_cast<std::uint8_t>(byte);
    ++s.count;

    switch (s.phase) {
    case Phase::Idle:
        s.phase = Phase::GotStart;
        return Event::Stored;
    case Phase::GotStart:
        s.phase = byte == block::kSecond ? Phase::GotR : Phase::Idle;
        return Event::Stored;
    case Phase::GotR:
        if (byte == block::kGpsKind) {
            s.phase = Phase::GotGpsKind;
        } else if (byte == block::kPtuKind) {
            s.kind = BlockKind::Ptu;
            s.phase = Phase::Body;
        } else {
            // Real blocks always have 'T' or 'M' here; waiting on would swallow the next header.
            s.phase = Phase::Idle;
        }
        return Event::Stored;
    case Phase::GotGpsKind:
        if (byte == block::kGpsVariant1 || byte == block::kGpsVariant2) {
            s.kind = BlockKind::Gps;
            s.phase = Phase::Body;
        } else {
            s.phase = Phase::Idle;
        }
        return Event::Stored;
    case Phase::Body:
        break;
    default:
        s.phase = Phase::Idle;
        s.kind = BlockKind::None;
        return Event::BadState;
    }

    if (s.count == block::kHeaderBytes) {
        const int length = block::lengthOf(s.kind, s.bytes);
        // Counted now instead of holding the framer for up to 65,547 bytes, during which every
        // following header would be lost.
        if (length > block::kMaxLength)
            return finish(false, false);
        s.expected = length + block::kOverhead;
    }
    if (s.expected != 0 && s.count >= s.expected)
        return finish(s.crcRegister == 0, true);
    return Event::Stored;
}

}  // namespace nimbra
