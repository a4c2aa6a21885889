#include "synth/serial_line.h"

namespace nimbra::synth {

void SerialLine::addCharacter(std::uint8_t c)
{
    bits_.push_back(0);
    for (int i = 0; i < 8; ++i)
        bits_.push_back((c >> i) & 1);
    bits_.push_back(1);
}

void SerialLine::addCharacters(const std::vector<std::uint8_t>& chars)
{
    for (std::uint8_t c : chars)
        addCharacter(c);
}

}  // namespace nimbra::synth
