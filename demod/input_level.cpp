#include "demod/input_level.h"

#include <algorithm>
#include <cmath>

namespace nimbra {

namespace {

float toDbfs(double amplitude)
{
    constexpr double kFullScale = 32768.0;
    if (!(amplitude > 0.0))
        return InputLevel::kFloorDb;
    return std::max(InputLevel::kFloorDb, static_cast<float>(20.0 * std::log10(amplitude / kFullScale)));
}

}  // namespace

void InputLevel::measure(const SampleHistory& history, std::int64_t end) noexcept
{
    float peak = 0.0f;
    double sumSquares = 0.0;
    int clipped = 0;
    // Plain loops over contiguous memory, which the compiler turns into vector code.
    history.forEachPiece(end - kInterval, end, [&](const float* v, int count) {
        for (int i = 0; i < count; ++i) {
            const float a = std::fabs(v[i]);
            peak = a > peak ? a : peak;
            sumSquares += double(a) * double(a);
            clipped += a >= kClipLevel ? 1 : 0;
        }
    });
    peakDbfs = toDbfs(double(peak));
    rmsDbfs = toDbfs(std::sqrt(sumSquares / kInterval));
    clippedSamples = clipped;
    measuredUpTo = end;
}

}  // namespace nimbra
