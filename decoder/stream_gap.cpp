// Decoder::interruptStream: the end of a stretch of samples that the next ones do not continue.
//
// The demodulators decide late. The Edge and Level slicers hand a run of equal level to the byte
// framer only when the level next changes, and the idle line after a block is such a run, holding
// the block's last character; the run is ended here as a change would end it. The Pattern
// demodulator decides on a block only once the block's last sample has entered its
// 15,000-sample window, and the Sync demodulator reads a block as its samples arrive; silence
// pushes what they hold through. (The slicers get no silence: it would only pull their automatic
// threshold down.) Neither can complete a block with a good checksum except by the chance of any
// noise, and a block completed with a bad one is counted but not shown. A block still open
// afterwards was cut by the break: it is counted as bad and incomplete, and the framers start
// afresh, so that the first samples after the break cannot be spliced onto it.
#include "decoder/decoder.h"
#include "demod/demod_type.h"
#include "demod/pattern_demod.h"

namespace nimbra {

static_assert(Decoder::kGapFlushSamples >= PatternDemodState::kWindow,
              "the silence must push the whole Pattern window through");

void Decoder::interruptStream()
{
    interrupting_ = true;
    const int demodType = params.demodType.load();
    if (demodType == kPatternDemod || demodType == kSyncDemod) {
        for (int i = 0; i < kGapFlushSamples; ++i)
            ProcessSample(0.0f);
    } else {
        const int c = demodulator_.slicer.endRun();
        if (c >= 0)
            character(c);
    }
    if (framer_.cut() == PacketFramer::Event::Finished)
        finishBlock();
    demodulator_.slicer.framer = ByteFramer();
    interrupting_ = false;
}

}  // namespace nimbra
