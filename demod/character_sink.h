// CharacterSink: where the demodulators hand on what they decoded, one character (0..255) at a
// time from the slicers, a whole block at a time from the block demodulators (Pattern, Sync),
// which judge a block before anything of it goes on. The packet framer sits behind it.
#pragma once

#include <cstdint>

#include "demod/block_signal.h"
#include "demod/block_timing.h"

namespace nimbra {

// A block from a block demodulator: its bytes from the '$' through the checksum.
struct DemodBlock {
    const std::uint8_t* bytes = nullptr;
    int length = 0;
    int bitsRepaired = 0;  // bits the demodulator flipped to make the checksum good
    BlockSignal signal;
    BlockTiming timing;    // where the block lay in the input (set by the Demodulator)
    bool timed = false;
};

class CharacterSink {
public:
    virtual void character(int character) = 0;
    virtual void block(const DemodBlock& block) = 0;

protected:
    ~CharacterSink() = default;
};

}  // namespace nimbra
