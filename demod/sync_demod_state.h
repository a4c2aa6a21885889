// SyncDemodState: what the Sync demodulator keeps between samples.
//
// The demodulator searches for a block's opening (the idle or stop bit, 0xCA 0xCA '$' 'R') in
// both polarities, then reads the block character by character with integrate-and-dump over
// each bit, the bit clock re-anchored on every character's start-bit edge. A block that fails
// its checksum may be repaired by flipping one of its few least certain bits. All buffers are
// fixed; nothing is allocated per sample.
#pragma once

#include <cstdint>

namespace nimbra {

// A finished block, from its '$' through its two checksum characters, ready for the framer.
struct SyncBlock {
    static constexpr int kMaxBytes = 320;  // 300 + 12 for the longest length field accepted
    std::uint8_t bytes[kMaxBytes] = {};
    int length = 0;
    bool crcGood = false;
    int bitsRepaired = 0;
    int framingErrors = 0;  // start and stop bits read wrong in the whole block
    int doubtfulBits = 0;   // data bits whose decision was in doubt
};

struct SyncDemodState {
    // ---- Set once --------------------------------------------------------------------------
    static constexpr int kRingSize = 1024;   // samples of history; a power of two
    static constexpr int kPhases = 5;        // header search: one bit register per sample phase
    static constexpr int kSuspects = 4;      // least certain bits kept as repair candidates
    static constexpr int kMaxCharacters = SyncBlock::kMaxBytes + 2;  // with the two sync chars

    // ---- Updated per sample ----------------------------------------------------------------
    float ring[kRingSize] = {};
    std::int64_t count = 0;  // samples stored; sample i sits at ring[i % kRingSize]
    std::uint64_t phaseBits[kPhases] = {};  // hard bits, newest in bit 0, one register per phase
    int phase = 0;                          // count % kPhases

    // ---- Per block ------------------------------------------------------------------------
    bool inBlock = false;
    double signSense = -1.0;   // multiplies samples so that a mark reads positive
    double charStart = 0.0;    // start-bit edge of the next character, in samples
    double bitLength = 5.0;    // samples per bit, tracked through the block
    double level = 1.0;        // mean magnitude of a clean bit's samples
    int characters = 0;        // characters read, the two sync characters included
    int expected = 0;          // characters of the whole block, 0 until the length is known
    int kind = 0;              // 1 GPS, 2 PTU
    int framingErrors = 0;     // start bits read as 1 and stop bits read as 0
    int doubtfulBits = 0;      // data bits whose certainty score passed the doubt level
    std::uint8_t chars[kMaxCharacters] = {};

    // Repair candidates: the kSuspects data bits with the highest doubt score, best first.
    struct Suspect {
        float score = 0.0f;
        int character = 0;  // index into chars
        int bit = 0;        // 0 (least significant) to 7
    };
    Suspect suspects[kSuspects] = {};
    int suspectCount = 0;

    SyncBlock block;  // the last finished block

    // Diagnostics for tests and the bench.
    unsigned headersFound = 0;
    unsigned blocksRepaired = 0;
};

}  // namespace nimbra
