#include "app/live_feed.h"

#include <QString>

#include "demod/decoder.h"
#include "sources/decode_arbiter.h"
#include "sources/sample_queue.h"
#include "sources/sound_in.h"

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

int feedLiveAudio(CSoundIn& soundIn, Decoder& decoder, const DecodeArbiter& arbiter,
                  const std::function<void(const QString&)>& onNote)
{
    int decoded = 0;
    for (;;) {
        decoded += feedLiveBlocks([&soundIn] { return soundIn.GetInQueue(); }, decoder, arbiter);
        QString note;
        if (!soundIn.takeGap(&note))
            return decoded;
        if (arbiter.liveMayFeed())
            decoder.interruptStream();
        if (!note.isEmpty())
            onNote(note);
    }
}

}  // namespace nimbra
