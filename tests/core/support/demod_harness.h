// DemodHarness: the demodulator layer on its own, with its parameters and scope, recording what
// it hands on: every character with the index of the sample that produced it, and every block a
// block demodulator handed on as a whole.
#pragma once

#include <cstdint>
#include <vector>

#include "demod/character_sink.h"
#include "demod/decoder_parameters.h"
#include "demod/demodulator.h"
#include "demod/scope_buffer.h"

namespace nimbra::testing {

struct HandedBlock {
    std::vector<std::uint8_t> bytes;
    int bitsRepaired = 0;
    BlockSignal signal;
    long sampleIndex = 0;
};

class DemodHarness final : public CharacterSink {
public:
    DemodHarness() = default;
    DemodHarness(const DemodHarness&) = delete;
    DemodHarness& operator=(const DemodHarness&) = delete;

    DecoderParameters params;
    ScopeBuffer scope;
    Demodulator demod{params, scope, *this};

    std::vector<int> characters;  // everything handed on, blocks flattened
    std::vector<long> sampleIndex;  // 0-based index of the sample that handed each character on
    std::vector<HandedBlock> blocks;

    void feed(float s) { demod.process(s); }
    void feed(const std::vector<float>& samples)
    {
        for (float s : samples)
            feed(s);
    }
    long fed() const { return static_cast<long>(demod.samplesConsumed()); }

    void character(int c) override
    {
        characters.push_back(c);
        sampleIndex.push_back(fed() - 1);
    }
    void block(const DemodBlock& b) override
    {
        blocks.push_back({std::vector<std::uint8_t>(b.bytes, b.bytes + b.length), b.bitsRepaired,
                          b.signal, fed() - 1});
        for (int i = 0; i < b.length; ++i)
            character(b.bytes[i]);
    }
};

}  // namespace nimbra::testing
