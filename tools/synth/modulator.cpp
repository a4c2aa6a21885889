#include "synth/modulator.h"

#include <cmath>

namespace nimbra::synth {

std::size_t samplesForBits(std::size_t bitCount, double samplesPerBit, double startPhase)
{
    // The bits end at the first sample n for which n + startPhase reaches bitCount x
    // samplesPerBit. The small tolerance keeps a boundary that is a whole number in exact
    // arithmetic (1000 x 4.992) from moving a sample on the rounding of its binary product.
    const double end = static_cast<double>(bitCount) * samplesPerBit - startPhase;
    return end <= 0.0 ? 0 : static_cast<std::size_t>(std::ceil(end - 1e-7));
}

std::vector<float> modulateLevels(const std::vector<std::uint8_t>& bits, double samplesPerBit,
                                  double startPhase)
{
    std::vector<float> out;
    if (!(samplesPerBit > 0.0))
        return out;
    const std::size_t total = samplesForBits(bits.size(), samplesPerBit, startPhase);
    out.resize(total);
    std::size_t n = 0;
    for (std::size_t k = 0; k < bits.size(); ++k) {
        const std::size_t end = samplesForBits(k + 1, samplesPerBit, startPhase);
        const float level = bits[k] ? -1.0f : 1.0f;
        for (; n < end; ++n)
            out[n] = level;
    }
    return out;
}

}  // namespace nimbra::synth
