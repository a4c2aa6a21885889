// Signals for the IQ tests: random line bits and their complex baseband through the
// synthesizer's IQ channel.
#pragma once

#include <complex>
#include <cstdint>
#include <vector>

#include "synth/channel_iq.h"
#include "synth/random.h"

namespace iqtest {

inline std::vector<std::uint8_t> randomBits(std::size_t count, std::uint64_t seed)
{
    nimbra::synth::Random random(seed);
    std::vector<std::uint8_t> bits(count);
    for (auto& b : bits)
        b = static_cast<std::uint8_t>(random.next() >> 63);
    return bits;
}

struct IqSignal {
    double rate = 192000.0;
    double offsetHz = 0.0;
    double deviationHz = 3600.0;
    double driftHzPerS = 0.0;
    double driftSpanHz = 0.0;
    double ebN0Db = -1.0;  // below 0: no noise
    std::uint64_t seed = 1;
};

inline std::vector<std::complex<float>> render(const IqSignal& s, const std::vector<std::uint8_t>& bits,
                                               double samplesPerBit = 5.0)
{
    nimbra::synth::IqChannelSettings c;
    c.sampleRate = s.rate;
    c.offsetHz = s.offsetHz;
    c.deviationHz = s.deviationHz;
    c.driftHzPerS = s.driftHzPerS;
    c.driftSpanHz = s.driftSpanHz;
    if (s.ebN0Db >= 0.0)
        c.ebN0Db = s.ebN0Db;
    c.seed = s.seed;
    nimbra::synth::IqChannel channel(c);
    return channel.render(bits, samplesPerBit);
}

}  // namespace iqtest
