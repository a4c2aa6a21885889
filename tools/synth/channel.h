// Channel: turns the line bits of a transmission into the receiver's audio.
//
// In:  the line bits (1 = mark, 0 = space; see SerialLine) and the bit length in samples.
// Out: audio at 48,000 samples/s in 16-bit PCM units, not yet rounded or clipped (toPcm16 does
//      that), one float per sample.
//
// AudioChannel models the discriminator output directly (levels, noise, low-pass); a radio
// channel model (modulation at RF, receiver, discriminator) plugs in through the same interface.
#pragma once

#include <cstdint>
#include <vector>

namespace nimbra::synth {

class Channel {
public:
    virtual ~Channel() = default;
    virtual std::vector<float> render(const std::vector<std::uint8_t>& bits,
                                      double samplesPerBit) = 0;
};

}  // namespace nimbra::synth
