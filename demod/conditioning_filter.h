// ConditioningFilter: the fixed second-order recursive filter (direct form I) that optionally
// conditions the discriminator audio before slicing.
//
// In:  one sample in 16-bit PCM units.
// Out: the conditioned sample in output units (input scale x 32678/32768), single precision.
//
// The response lifts the low frequencies (gain about 186 at 0 Hz, a peak near 19 Hz) and leaves
// everything above 500 Hz at about unity. Every step rounds to single precision exactly where the
// decoder's behaviour has always rounded, so recordings decode bit for bit the same; the sums in
// between are taken in double precision.
#pragma once

namespace nimbra {

struct ConditioningFilter {
    // Set once: coefficients, each the single-precision value of the decimal given.
    static constexpr float kB0 = 4.0980487f;
    static constexpr float kB1 = -7.996491f;
    static constexpr float kB2 = 3.9054606f;
    static constexpr float kA0 = 4.0052376f;  // divisor of the whole sum
    static constexpr float kA1 = -7.9999657f;
    static constexpr float kA2 = 3.9947658f;
    static constexpr double kInputScale = 0.000030517578125;  // 2^-15
    static constexpr double kOutputScale = 32678.0;  // not 32768: the output sits 0.27 % low

    // Per sample: the last two scaled inputs and the last two outputs. Each holds a
    // single-precision value; they are kept widened so the recursion converts nothing.
    double x1 = 0.0;
    double x2 = 0.0;
    double y1 = 0.0;
    double y2 = 0.0;

    float process(float s) noexcept
    {
        const float t = static_cast<float>(static_cast<double>(s) * kInputScale);
        const float sum = static_cast<float>(double(kB0) * double(t) + double(kB1) * x1
                                             + double(kB2) * x2 - double(kA1) * y1
                                             - double(kA2) * y2);
        // The quotient of two floats rounded once to float equals the double quotient rounded
        // to float (double carries more than twice the bits), so the faster division is exact.
        const float y = sum / kA0;
        x2 = x1;
        x1 = static_cast<double>(t);
        y2 = y1;
        y1 = static_cast<double>(y);
        return static_cast<float>(double(y) * kOutputScale);
    }
};

}  // namespace nimbra
