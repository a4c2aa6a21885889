// DecodeArbiter: who feeds the decoder now, live audio or a WAVE file decode. One thread at a
// time may drive the decoder; this is the rule that keeps the live loop and a file decode apart.
//
// Rules:
//  - Live audio feeds the decoder unless a file decode holds it.
//  - A file decode holds the decoder from the moment it is started (on the GUI thread, before its
//    thread runs, so that the very next tick of the live loop already leaves the decoder alone)
//    until its last samples have been fed (on its own thread).
//  - While a file decode holds the decoder, the live loop still takes its blocks out of the sound
//    input (so the queue never overflows) and throws them away, and the pending record text is
//    the file decode's: it goes to the record file beside the WAVE file, not the live one.
//
// beginFileDecode is idempotent: the starter and the decoding thread both call it. The flag is
// atomic: the GUI thread reads it while the decoding thread clears it.
#pragma once

#include <atomic>

namespace nimbra {

class DecodeArbiter {
public:
    enum class Feeder { Live, File };

    void beginFileDecode() { fileDecode_.store(true); }
    void endFileDecode() { fileDecode_.store(false); }

    Feeder feeder() const { return fileDecode_.load() ? Feeder::File : Feeder::Live; }
    bool liveMayFeed() const { return feeder() == Feeder::Live; }

private:
    std::atomic<bool> fileDecode_{false};
};

}  // namespace nimbra
