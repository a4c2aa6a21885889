// truncToInt: float to int by truncation toward zero, as the decoder stores samples in its
// delay line and scope. Values beyond the int range saturate and NaN gives 0, so no input,
// however wild, makes the conversion undefined.
#pragma once

#include <climits>

namespace nimbra {

inline int truncToInt(float v) noexcept
{
    if (v >= -2147483648.0f && v < 2147483648.0f)
        return static_cast<int>(v);
    if (v > 0.0f)
        return INT_MAX;
    return v < 0.0f ? INT_MIN : 0;
}

}  // namespace nimbra
