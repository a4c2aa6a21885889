#include "input/pcm16.h"

#include <cmath>

namespace nimbra::input {

void roundToPcm16(const std::vector<float>& in, std::vector<std::int16_t>& out)
{
    out.resize(in.size());
    for (std::size_t i = 0; i < in.size(); ++i) {
        const float v = std::nearbyint(in[i]);
        if (std::isnan(v)) {
            out[i] = 0;
            continue;
        }
        out[i] = static_cast<std::int16_t>(v > 32767.0f ? 32767.0f : (v < -32768.0f ? -32768.0f : v));
    }
}

}  // namespace nimbra::input
