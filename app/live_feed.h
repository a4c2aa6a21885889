// feedLiveBlocks: hands every block waiting in the sound input to the decoder, first channel
// only, or throws the blocks away while a WAVE decode holds the decoder (DecodeArbiter), so that
// the queue never overflows and one thread at a time feeds the decoder.
//
// feedLiveAudio: the same for the sound input's queue with its gaps (where capture was lost or
// restarted): the blocks before a gap, then the gap, which ends the decoder's stretch of samples
// (Decoder::interruptStream, when live audio holds the decoder) and hands its note, if any, to
// onNote; then the blocks after it.
#pragma once

#include <functional>

class QString;

namespace nimbra {

class Decoder;
class DecodeArbiter;
class SampleQueue;
struct SoundBlock;

// Returns the number of blocks decoded (discarded blocks are not counted). The arbiter is asked
// once per block.
int feedLiveBlocks(const std::function<const SoundBlock*()>& nextBlock, Decoder& decoder,
                   const DecodeArbiter& arbiter);

// Returns the number of blocks decoded.
int feedLiveAudio(SampleQueue& queue, Decoder& decoder, const DecodeArbiter& arbiter,
                  const std::function<void(const QString&)>& onNote);

}  // namespace nimbra
