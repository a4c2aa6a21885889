// SyncDemod: the Sync demodulator for receiver audio ("Sync Demod", demodType 3): the audio
// soft-value source and the Sync stage, for weak signals.
//
// In:  conditioned samples at 48,000 samples/s, one at a time, either polarity, any bit rate
//      within about +-2,500 ppm of 9,600 bit/s.
// Out: finished blocks (block()), see SyncStage (demod/sync_stage.h), which holds the bit-clock
//      recovery, framing and repair that other front ends share.
#pragma once

#include "demod/audio_soft_bits.h"
#include "demod/sync_stage.h"

namespace nimbra {

class SyncDemod {
public:
    AudioSoftBits source;
    SyncStage<AudioSoftBits> stage;

    void reset() noexcept
    {
        source.reset();
        stage.reset();
    }

    // Takes one sample. True when a block has finished; it waits in block() until the next call.
    bool step(float sample) noexcept;
    DemodBlock block() const noexcept { return stage.block(); }
};

}  // namespace nimbra
