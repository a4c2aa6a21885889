// Frequencies as users type them and as the outputs print them.
#pragma once

#include <optional>
#include <string>

namespace nimbra::formats {

// "1680000000", "1680e6", "1680M", "1680.12M", "1.68G", "-300k" to Hz: a number with an optional
// multiplier k (K), M (m) or G (g), nothing after it. None for anything else, and for values that
// are not finite.
std::optional<double> parseFrequencyHz(const std::string& text);

// Hz as MHz with three decimals (kHz resolution): "1680.120".
std::string formatMhz(double hz);

}  // namespace nimbra::formats
