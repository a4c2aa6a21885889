// Float samples in 16-bit PCM units to the 16-bit values the decoder takes: rounded to the
// nearest integer (halves to even) and clipped to -32768..32767; NaN (a damaged float file, a
// recorder's glitch) becomes 0, silence, instead of an undefined conversion. nimbra-decode and
// the desktop program's reading of recordings both convert through here, so they decode the
// same values.
#pragma once

#include <cstdint>
#include <vector>

namespace nimbra::input {

// Replaces the contents of `out` with the converted `in`.
void roundToPcm16(const std::vector<float>& in, std::vector<std::int16_t>& out);

}  // namespace nimbra::input
