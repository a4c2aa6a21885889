#include "sdr/band_scan.h"

#include <algorithm>
#include <cmath>

namespace nimbra::sdr {

BandPlan planBand(double lowHz, double highHz, double rate, std::optional<double> tunedHz)
{
    BandPlan p;
    p.lowHz = lowHz;
    p.highHz = highHz;
    if (tunedHz) {
        p.windows = {*tunedHz};
        p.fixed = true;
        return p;
    }
    const double usable = kUsableShare * rate;
    const double width = highHz - lowHz;
    if (usable >= width) {
        p.windows = {0.5 * (lowHz + highHz)};
        return p;
    }
    // Windows of the usable width, spread evenly from edge to edge (so they overlap a little).
    const auto count = static_cast<std::size_t>(std::ceil(width / usable));
    const double step = count > 1 ? (width - usable) / double(count - 1) : 0.0;
    for (std::size_t k = 0; k < count; ++k)
        p.windows.push_back(lowHz + 0.5 * usable + double(k) * step);
    return p;
}

std::optional<double> BandScan::step(double nowS, double lastDecodeS)
{
    if (arrivedS_ < 0.0)
        arrivedS_ = nowS;
    if (plan_.windows.size() < 2)
        return std::nullopt;
    const bool decoding = lastDecodeS >= 0.0 && nowS - lastDecodeS < kHoldS;
    if (decoding || nowS - arrivedS_ < kDwellS)
        return std::nullopt;
    window_ = (window_ + 1) % plan_.windows.size();
    arrivedS_ = nowS;
    return plan_.windows[window_];
}

}  // namespace nimbra::sdr
