#include "app/live_feed.h"

#include "decoder/decoder.h"
#include "sources/file_decode_running.h"
#include "sources/sample_queue.h"

int feedLiveBlocks(const std::function<const nimbra::SoundBlock*()>& nextBlock, nimbra::Decoder& decoder)
{
    int decoded = 0;
    while (const nimbra::SoundBlock* block = nextBlock()) {
        if (nimbra::fileDecodeRunning.load())
            continue;
        for (int i = 0; i < nimbra::SoundBlock::kFrames; ++i)
            decoder.ProcessSample(static_cast<float>(block->frame[i][0]));
        ++decoded;
    }
    return decoded;
}
