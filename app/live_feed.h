// feedLiveBlocks: hands every block waiting in the sound input to the decoder, first channel
// only, or throws the blocks away while a WAVE decode drives the decoder (fileDecodeRunning),
// so that the queue never overflows and one thread at a time feeds the decoder.
#pragma once

#include <functional>

namespace nimbra {
class Decoder;
struct SoundBlock;
}

// Returns the number of blocks decoded (discarded blocks are not counted).
int feedLiveBlocks(const std::function<const nimbra::SoundBlock*()>& nextBlock, nimbra::Decoder& decoder);
