#include "app/live_feed.h"

#include <QString>

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

int feedLiveAudio(SampleQueue& queue, Decoder& decoder, const DecodeArbiter& arbiter,
                  const std::function<void(const QString&)>& onNote)
{
    int decoded = 0;
    for (;;) {
        decoded += feedLiveBlocks([&queue] { return queue.GetInQueue(); }, decoder, arbiter);
        QString note;
        if (!queue.takeGap(&note))
            return decoded;
        if (arbiter.liveMayFeed())
            decoder.interruptStream();
        if (!note.isEmpty())
            onNote(note);
    }
}

}  // namespace nimbra
