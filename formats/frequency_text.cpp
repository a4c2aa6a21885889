#include "formats/frequency_text.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace nimbra::formats {

std::optional<double> parseFrequencyHz(const std::string& text)
{
    if (text.empty())
        return std::nullopt;
    char* end = nullptr;
    errno = 0;
    double v = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || errno != 0)
        return std::nullopt;
    switch (*end) {
    case '\0':
        break;
    case 'k': case 'K':
        v *= 1e3, ++end;
        break;
    case 'M': case 'm':
        v *= 1e6, ++end;
        break;
    case 'G': case 'g':
        v *= 1e9, ++end;
        break;
    default:
        return std::nullopt;
    }
    if (*end != '\0' || !std::isfinite(v))
        return std::nullopt;
    return v;
}

std::string formatMhz(double hz)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", hz / 1e6);
    return text;
}

}  // namespace nimbra::formats
