#include "demod/pattern_header.h"

#include <cstring>

namespace nimbra {

namespace {

constexpr int kSync = 0xCA;

// Sum of window[first..last] in sample order, in single precision, starting from 0.
inline float bitSum(const float* window, int first, int last) noexcept
{
    float s = 0.0f;
    for (int o = first; o <= last; ++o)
        s += window[o];
    return s;
}

}  // namespace

void HeaderClock::setSamplesPerBit(float samplesPerBit) noexcept
{
    std::uint32_t bits;
    std::memcpy(&bits, &samplesPerBit, sizeof bits);
    if (valid_ && bits == clockBits_)
        return;
    valid_ = true;
    clockBits_ = bits;

    // The phase arithmetic of integrate-and-dump, without the sums.
    const float f = samplesPerBit;
    float h = 0.0f;
    int produced = 0;
    int first = 0;
    for (int o = 0; o < kHeaderSamples && produced < kHeaderBits; ++o) {
        h = static_cast<float>(h + 1.0f);
        if (h >= f) {
            firstOffset[produced] = static_cast<std::uint16_t>(first);
            lastOffset[produced] = static_cast<std::uint16_t>(o);
            ++produced;
            h = static_cast<float>(h - f);
            first = o + 1;
        }
    }
    complete = produced == kHeaderBits;
}

bool headerMatches(const float* window, const HeaderClock& clock) noexcept
{
    if (!clock.complete)
        return false;
    static constexpr int kFixed[4] = {kSync, kSync, '$', 'R'};
    for (int j = 0; j < 4; ++j) {
        const int expected = kFixed[j];
        for (int i = 0; i < 8; ++i) {
            const int k = 1 + 10 * j + i;
            const int bit = bitSum(window, clock.firstOffset[k], clock.lastOffset[k]) > 0.0f;
            if (bit != ((expected >> i) & 1))
                return false;
        }
    }
    for (int j = 4; j < 6; ++j) {
        int c = 0;
        for (int i = 0; i < 8; ++i) {
            const int k = 1 + 10 * j + i;
            if (bitSum(window, clock.firstOffset[k], clock.lastOffset[k]) > 0.0f)
                c |= 1 << i;
        }
        if (j == 4 ? (c != 'T' && c != 'M') : (c != '1' && c != '2'))
            return false;
    }
    return true;
}

}  // namespace nimbra
