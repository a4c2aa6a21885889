// feedLiveBlocks: hands every block waiting in the sound input to the decoder, first channel
// only, or throws the blocks away while a WAVE decode holds the decoder (DecodeArbiter), so that
// the queue never overflows and one thread at a time feeds the decoder.
#pragma once

#include <functional>

namespace nimbra {

class Decoder;
class DecodeArbiter;
struct SoundBlock;

// Returns the number of blocks decoded (discarded blocks are not counted). The arbiter is asked
// once per block.
int feedLiveBlocks(const std::function<const SoundBlock*()>& nextBlock, Decoder& decoder,
                   const DecodeArbiter& arbiter);

}  // namespace nimbra
