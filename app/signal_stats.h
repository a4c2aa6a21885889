// SignalStats: the figures of the signal panel, counted in the time of the signal (the decoder's
// sample numbers at 48,000 samples/s), so that a recording decoded at a thousand times real time
// reads as it would have live.
//
// In:  the start of an input (a live capture, a recording), its finished blocks and accepted
//      fixes, and how far it has been decoded.
// Out: GPS blocks received with a good checksum in the last 30 s and 2 min against one expected a
//      second, the Eb/N0 of the latest measured block and the median of the last ten, bits
//      repaired, seconds since the last accepted fix, and whether the input has gone 30 s
//      without a block.
//
// Plain C++: no Qt, testable on its own.
#pragma once

#include <cstdint>
#include <deque>

#include "decoder/decoder.h"

namespace nimbra {

class SignalStats {
public:
    static constexpr std::int64_t kSampleRate = 48000;
    static constexpr int kShortWindowS = 30;
    static constexpr int kLongWindowS = 120;
    static constexpr int kNoSignalS = 30;
    static constexpr int kQualityBlocks = 10;

    struct Rate {
        int received = 0;
        int expected = 0;
    };
    struct Figures {
        Rate shortWindow;                // last 30 s
        Rate longWindow;                 // last 2 min
        float latestEbN0Db = 0.0f;       // NaN until a block is measured
        float medianEbN0Db = 0.0f;       // of the last ten measured blocks; NaN before
        int bitsRepaired = 0;            // since the input began (or the counters were reset)
        int blocksRepaired = 0;
        double secondsSinceFix = -1.0;   // -1: no fix from this input yet
        bool noSignal = false;           // 30 s of input without a block
    };

    // A new input begins after decoder sample `sample`; the counts start again.
    void restart(std::int64_t sample);
    void addBlock(const PacketEvent& block);
    void addFix(std::int64_t sample);
    // The input has been decoded up to this sample number.
    void advanceTo(std::int64_t sample);
    void resetCounters();

    Figures figures() const;
    std::int64_t start() const { return start_; }
    std::int64_t now() const { return now_; }

private:
    Rate rate(int windowS) const;

    std::int64_t start_ = 0;
    std::int64_t now_ = 0;
    std::int64_t lastBlock_ = -1;
    std::int64_t lastFix_ = -1;
    std::deque<std::int64_t> goodGps_;  // sample numbers of good GPS blocks in the long window
    std::deque<float> quality_;         // the last measured blocks' Eb/N0
    int bitsRepaired_ = 0;
    int blocksRepaired_ = 0;
};

}  // namespace nimbra
