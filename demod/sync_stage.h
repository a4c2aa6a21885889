// SyncStage: the bit-clock recovery, framing and checksum repair of the Sync demodulator
// ("Sync Demod"), separated from where its soft values come from.
//
// In:  a soft-value source (below), stepped once per sample at 48,000 samples/s.
// Out: finished blocks (block()) from the '$' through the checksum: blocks whose checksum is
//      good, possibly after one repaired bit, and blocks that fail it but are plainly a real
//      transmission (so that the framer counts them as bad), with what was measured over their
//      bits (BlockSignal). Noise produces nothing.
//
// The source seam. The stage never sees samples; it asks a Source, a class with these members:
//
//     std::int64_t count() const;   // time now, in samples at 48 kHz: the source has taken
//                                   // samples 0 .. count() - 1, sample i standing for [i, i + 1)
//     int hardBit() const;          // the hard decision (1 = mark) of the bit interval ending
//                                   // at count(), for the search for a block's opening
//     double integrate(double a, double b, float* peak) const;
//                                   // the soft value of the signal over [a, b) (a fractional
//                                   // interval of the last ~300 samples, b <= count() - 2): the
//                                   // integral of a signal whose mark is negative in the
//                                   // normal polarity; `peak` (may be null) gets the largest
//                                   // magnitude met, which flags clicks
//     double settledBitValue(double a, double b, float* peak) const;   (optional)
//                                   // a bit's value once its edges are known very closely
//                                   // (settling, above), over the whole block just read
//     double bitValue(double a, double b, float* peak) const;   (optional)
//                                   // the same for [a, b) as one bit: the value the bit's
//                                   // decision is taken from, while integrate() serves the
//                                   // acquisition and the clock's edges; a detector may look at
//                                   // the neighbouring bits here. Without it: integrate().
//
// The audio path's source, AudioSoftBits (demod/audio_soft_bits.h), integrates the conditioned
// audio samples. Another front end (an IQ detector) implements the same three members its own
// way and reuses the stage unchanged: SyncStage<ItsSource>, with the member definitions from
// demod/sync_stage_impl.h instantiated once in its .cpp (as demod/sync_demod.cpp does for audio).
// The stage is a template, not an interface with virtual calls, so that the audio path keeps
// its speed: the source's calls compile inline.
//
// How it works:
//   - Search: each sample's hard bit goes into one of five registers (one per sample phase);
//     each register is tested against the block's opening (a 1, then 0xCA 0xCA '$' 'R' as 8N1
//     characters, 41 bits) and its complement for the inverted signal, allowing up to 3 bits to
//     differ.
//   - Acquisition: the opening's known bits give the start time and bit length (best correlation
//     over a fine grid) and the signal's level.
//   - Reading: each character's ten bits are integrated over their exact (fractional) intervals.
//     The transitions of the character, its start-bit edge first, measure the clock's error; a
//     second-order loop moves the next character's start and the bit length accordingly.
//   - Settling (sources that keep a whole block, as the audio source does): once the block is
//     complete, a straight line through its characters' start-bit edges, refined on every one
//     of its transitions, gives each bit's edges to a few hundredths of a sample (the bit rate
//     is constant over a block; the loop knew them to about a fifth), and the block is read again
//     on it with settledBitValue(), which may assign samples near an edge more sharply.
//   - Check and repair: the checksum over '$' .. end. A failed block whose framing bits are
//     sound (at most 2 wrong) and whose own values do not suggest more than 2.5 wrong bits may be
//     repaired by flipping one of its eight most doubtful data bits; never a block whose payload
//     is all zeros or all ones. Which bits are doubtful depends on the noise: where the spread of
//     the block's values explains a wrong bit (Gaussian noise), the bits of smallest value; where
//     it does not (a discriminator whose errors are clicks), the bits with the largest sample.
//     Eight tries keep the chance that a block with three or more errors passes near 8 in
//     65,536 where the gates let a repair be tried at all (blocks with three errors seldom pass
//     them); two errors can never be repaired into a wrong block, as the checksum detects every
//     pattern of three.
// All buffers are fixed; nothing is allocated per sample.
#pragma once

#include <cstdint>

#include "demod/block_signal.h"
#include "demod/character_sink.h"
#include "block/block_format.h"

namespace nimbra {

// A finished block, from its '$' through its two checksum characters, ready for the framer.
struct SyncBlock {
    std::uint8_t bytes[block::kMaxBlockBytes] = {};
    int length = 0;
    bool crcGood = false;
    int bitsRepaired = 0;
    BlockSignal signal;
};

struct SyncStageState {
    static constexpr int kPhases = 5;    // opening search: one bit register per sample phase
    static constexpr int kSuspects = 8;  // least certain bits kept as repair candidates
    static constexpr int kMaxCharacters = block::kMaxBlockBytes + block::kSyncCharacters;
    static constexpr int kMaxDataBits = 8 * kMaxCharacters;

    // ---- Updated per sample ----------------------------------------------------------------
    std::uint64_t phaseBits[kPhases] = {};  // hard bits, newest in bit 0, one register per phase
    int phase = 0;                          // sample count % kPhases

    // ---- Per block ------------------------------------------------------------------------
    bool inBlock = false;
    double signSense = -1.0;   // multiplies soft values so that a mark reads positive
    double charStart = 0.0;    // start-bit edge of the next character, in samples
    double bitLength = 5.0;    // samples per bit, tracked through the block
    double level = 1.0;        // mean magnitude of a clean bit's samples
    int characters = 0;        // characters read, the two sync characters included
    int expected = 0;          // characters of the whole block, 0 until the length is known
    BlockKind kind = BlockKind::None;
    int framingErrors = 0;     // start bits read as 1 and stop bits read as 0
    int doubtfulBits = 0;      // data bits of little value (BlockSignal)
    int softBits = 0;          // soft-value statistics of the data bits read (BlockSignal)
    double softSum = 0.0;
    double softSumSquares = 0.0;
    std::uint8_t chars[kMaxCharacters] = {};
    double starts[kMaxCharacters] = {};  // start-bit edge of each character read, samples
    // Per data bit read (character by character from the first after the opening): its value
    // in units of the level and bit length, taken positive, and its largest sample in levels.
    float reliability[kMaxDataBits] = {};
    float peaks[kMaxDataBits] = {};
    double expectedErrors = 0.0;  // wrong bits the spread of the values suggests

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

template <class Source>
class SyncStage {
public:
    SyncStageState state;

    void reset() noexcept { state = SyncStageState(); }

    // One step, after the source has taken a sample. True when a block has finished; it waits
    // in block() until the next step.
    bool step(const Source& source) noexcept;
    DemodBlock block() const noexcept
    {
        const SyncBlock& b = state.block;
        DemodBlock d;
        d.bytes = b.bytes;
        d.length = b.length;
        d.bitsRepaired = b.bitsRepaired;
        d.signal = b.signal;
        return d;
    }

private:
    void acquire(const Source& source) noexcept;
    void readCharacter(const Source& source) noexcept;
    bool afterCharacter(const Source& source) noexcept;
    bool finishBlock(const Source& source) noexcept;
    void settle(const Source& source) noexcept;
    double edgeError(const Source& source, double t, int newBit) const noexcept;
};

}  // namespace nimbra
