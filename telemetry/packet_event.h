// PacketEvent: one finished block, good or bad, as the packet framer saw it, handed to the
// decoder's packet listener on the decoding thread after the block's own decoding.
#pragma once

#include <cstdint>
#include <limits>

#include "demod/block_signal.h"
#include "block/block_format.h"

namespace nimbra {

struct PacketEvent {
    BlockKind kind = BlockKind::None;
    bool crcGood = false;
    int bitsRepaired = 0;                 // bits the demodulator flipped to make the checksum good
    const std::uint8_t* bytes = nullptr;  // from the '$' through the checksum
    int length = 0;                       // bytes (at most block::kMaxBlockBytes)
    std::int64_t sampleIndex = 0;         // samples taken when the block finished (FixRecord)
    BlockSignal signal;                   // what the demodulator measured over its bits
    // Eb/N0 of the block in dB, measured under its bits (demod/signal_quality.h) while the
    // decoder measures the signal; NaN otherwise or when the block could not be measured.
    float ebN0Db = std::numeric_limits<float>::quiet_NaN();
};

}  // namespace nimbra
