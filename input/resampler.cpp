#include "input/resampler.h"

#include <cmath>
#include <soxr.h>

namespace nimbra::input {

Resampler::Resampler(double inputRate, double outputRate) : ratio_(outputRate / inputRate)
{
    soxr_error_t err = nullptr;
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    soxr_ = soxr_create(inputRate, outputRate, 1, &err, &io, &quality, nullptr);
    if (err) {
        error_ = std::string("cannot set up resampling: ") + err;
        if (soxr_)
            soxr_delete(soxr_);
        soxr_ = nullptr;
    }
}

Resampler::~Resampler()
{
    if (soxr_)
        soxr_delete(soxr_);
}

void Resampler::process(const std::vector<float>& in, std::vector<float>& out)
{
    std::size_t offset = 0;
    while (offset < in.size()) {
        const std::size_t remaining = in.size() - offset;
        buffer_.resize(static_cast<std::size_t>(std::ceil(static_cast<double>(remaining) * ratio_)) + 64);
        std::size_t used = 0, produced = 0;
        if (soxr_process(soxr_, in.data() + offset, remaining, &used, buffer_.data(), buffer_.size(), &produced))
            return;
        out.insert(out.end(), buffer_.begin(), buffer_.begin() + static_cast<long>(produced));
        offset += used;
        if (used == 0 && produced == 0)
            break;
    }
}

void Resampler::finish(std::vector<float>& out)
{
    buffer_.resize(4096);
    while (true) {
        std::size_t produced = 0;
        if (soxr_process(soxr_, nullptr, 0, nullptr, buffer_.data(), buffer_.size(), &produced) || produced == 0)
            break;
        out.insert(out.end(), buffer_.begin(), buffer_.begin() + static_cast<long>(produced));
    }
}

}  // namespace nimbra::input
