#include "iq/band_conditioner.h"

#include <algorithm>
#include <cmath>

namespace nimbra::iq {

namespace {

constexpr double kTimeConstantS = 0.25;
constexpr std::size_t kBlock = 8192;  // samples summed between updates of the estimates

}  // namespace

BandConditioner::BandConditioner(double sampleRate) : rate_(sampleRate) {}

void BandConditioner::update(std::size_t n, std::size_t every, double sumI, double sumQ, double sumII, double sumQQ,
                             double sumIQ)
{
    const double count = double(n);
    const double meanI = sumI / count, meanQ = sumQ / count;
    // Second moments about the block's own mean, so that the DC does not enter them.
    const double ii = sumII / count - meanI * meanI;
    const double qq = sumQQ / count - meanQ * meanQ;
    const double iq = sumIQ / count - meanI * meanQ;
    const double k = started_ ? std::min(1.0, count * double(every) / (kTimeConstantS * rate_)) : 1.0;
    started_ = true;
    // The DC estimate follows the corrected output's mean, so it keeps its own account.
    dcI_ += k * meanI;
    dcQ_ += k * meanQ;
    powI_ += k * (ii - powI_);
    powQ_ += k * (qq - powQ_);
    powIQ_ += k * (iq - powIQ_);
    if (!(powI_ > 0.0))
        return;
    cross_ = powIQ_ / powI_;
    const double orthogonal = powQ_ - powIQ_ * powIQ_ / powI_;
    if (orthogonal > 0.0)
        gain_ = std::sqrt(powI_ / orthogonal);
}

void BandConditioner::process(std::complex<float>* samples, std::size_t count)
{
    while (count > 0) {
        const std::size_t n = std::min(count, kBlock - filled_);
        const auto di = static_cast<float>(dcI_), dq = static_cast<float>(dcQ_);
        const auto a = static_cast<float>(cross_), g = static_cast<float>(gain_);
        float* v = reinterpret_cast<float*>(samples);
        // The statistics of one block in kMeasureEvery are enough to follow a dongle's drift:
        // the raw samples less the DC estimate (what is left is the estimate's error), summed in
        // eight independent lanes that vectorise without reordering any one sum.
        if (blocks_ % kMeasureEvery == 0) {
            for (std::size_t k = 0; k < n; ++k) {
                const float i = v[2 * k] - di, q = v[2 * k + 1] - dq;
                const std::size_t l = (filled_ + k) % kLanes;
                sums_[0][l] += i;
                sums_[1][l] += q;
                sums_[2][l] += i * i;
                sums_[3][l] += q * q;
                sums_[4][l] += i * q;
            }
        }
        for (std::size_t k = 0; k < n; ++k) {
            const float i = v[2 * k] - di, q = v[2 * k + 1] - dq;
            v[2 * k] = i;
            v[2 * k + 1] = (q - a * i) * g;
        }
        filled_ += n;
        samples += n;
        count -= n;
        if (filled_ < kBlock)
            continue;
        if (blocks_ % kMeasureEvery == 0) {
            double total[5] = {};
            for (int m = 0; m < 5; ++m)
                for (std::size_t l = 0; l < kLanes; ++l) {
                    total[m] += double(sums_[m][l]);
                    sums_[m][l] = 0.0f;
                }
            update(kBlock, kMeasureEvery, total[0], total[1], total[2], total[3], total[4]);
        }
        ++blocks_;
        filled_ = 0;
    }
}

}  // namespace nimbra::iq
