// PacketFramer: finds GPS blocks ('$' 'R' 'T' '1'|'2') and PTU blocks ('$' 'R' 'M') in the
// demodulators' character stream, keeps each block's bytes, ends it where its length field says
// and tests its CRC-16.
//
// In:  one byte (0..255) per push(), from the byte framer or a block demodulator.
// Out: per byte, what happened (Event); the block under way, or the one just finished until the
//      next '$' starts another (block()).
//
// Between blocks only a '$' matters; a byte that does not fit the header returns to the search
// for the next '$' without a trace. Once the header is whole nothing but the length ends the
// block: a '$' inside it is data. A GPS length beyond block::kMaxLength ends the block at once,
// as bad and incomplete, so that a corrupted header does not swallow the blocks that follow.
// The framer allocates nothing and does constant work per byte.
#pragma once

#include <cstdint>

#include "block/block_format.h"

namespace nimbra {

// A block as the framer framed it.
struct FramedBlock {
    BlockKind kind = BlockKind::None;
    const std::uint8_t* bytes = nullptr;  // from the '$'
    int length = 0;                       // bytes so far; all of them once finished
    bool crcGood = true;    // of a finished block: the checksum register ended at 0
    bool complete = false;  // of a finished block: it ended where its length said
};

class PacketFramer {
public:
    enum class Phase : int {
        Idle,       // waiting for '$'
        GotStart,   // after '$'
        GotR,       // after '$' 'R'
        GotGpsKind, // after '$' 'R' 'T'
        Body,       // a GPS block after its variant byte, or a PTU block after its 'M'
    };
    enum class Event {
        None,      // the byte belonged to no block
        Stored,    // the byte was stored in the block under way
        Finished,  // the byte was stored and finished the block
        BadState,  // the framer found itself in a state that does not exist; now idle
    };

    struct State {
        Phase phase = Phase::Idle;
        BlockKind kind = BlockKind::None;  // of the block under way or just finished
        std::uint16_t crcRegister = 0;
        int count = 0;     // bytes of the block, '$' included
        int expected = 0;  // bytes of the whole block, 0 until its length field has arrived
        bool crcGood = true;
        bool complete = false;
        std::uint8_t bytes[block::kMaxBlockBytes] = {};
    };

    State state;

    void reset() noexcept { state = State(); }
    Event push(int byte) noexcept;
    // The stream broke off: a block whose kind is known ends as bad and incomplete (Finished, so
    // never shown), a header under way is forgotten (None).
    Event cut() noexcept;
    // The checksum register step: the eight bits of `byte` (its low eight) into the register.
    void CrcAddByte(int byte) noexcept;

    FramedBlock block() const noexcept
    {
        return {state.kind, state.bytes, state.count, state.crcGood, state.complete};
    }

private:
    Event finish(bool crcGood, bool complete) noexcept;
};

}  // namespace nimbra
