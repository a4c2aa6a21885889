#include "app/live_feed.h"

#include "decoder/decoder.h"
#include "sources/decode_arbiter.h"
#include "sources/sample_queue.h"

namespace nimbra {

int feedLiveBlocks(const std::function<const SoundBlock*()>& nextBlock, Decoder& decoder,
                   const DecodeArbiter& arbiter)
{
    int decoded = 0;
    while (const SoundBlock* block = nextBlock()) {
        if (!arbiter.liveMayFeed())
            continue;
        for (int i = 0; i < SoundBlock::kFrames; ++i)
            decoder.ProcessSample(static_cast<float>(block->frame[i][0]));
        ++decoded;
    }
    return decoded;
}

}  // namespace nimbra
