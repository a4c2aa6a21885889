// SerialLine: the bit stream of an asynchronous serial line, 8N1.
//
// In:  characters (each sent as a start bit 0, eight data bits least significant first and a
//      stop bit 1) and idle time (1 bits: the idle line rests at the mark level).
// Out: the line's bits in order, one byte per bit (0 or 1). A 1 bit is the low level of the
//      audio, a 0 bit the high level; the modulator turns the bits into samples.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace nimbra::synth {

class SerialLine {
public:
    void addIdle(std::size_t bits) { bits_.insert(bits_.end(), bits, 1); }
    void addCharacter(std::uint8_t c);
    // Characters back to back, one stop bit each, as a block is sent.
    void addCharacters(const std::vector<std::uint8_t>& chars);
    // Inverts one bit already on the line (a transmission error).
    void flipBit(std::size_t index) { bits_.at(index) ^= 1; }

    std::size_t size() const { return bits_.size(); }
    const std::vector<std::uint8_t>& bits() const { return bits_; }

private:
    std::vector<std::uint8_t> bits_;
};

}  // namespace nimbra::synth
