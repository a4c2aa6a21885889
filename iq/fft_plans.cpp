#include "iq/fft_plans.h"

#include <fftw3.h>

#include <mutex>

namespace nimbra::iq {

namespace {

std::mutex& plannerMutex()
{
    static std::mutex m;
    return m;
}

}  // namespace

FftPlan::FftPlan(std::size_t size, Direction direction) : size_(size)
{
    std::lock_guard<std::mutex> lock(plannerMutex());
    in_ = reinterpret_cast<std::complex<float>*>(fftwf_alloc_complex(size_));
    out_ = reinterpret_cast<std::complex<float>*>(fftwf_alloc_complex(size_));
    for (std::size_t i = 0; i < size_; ++i)
        in_[i] = out_[i] = {};
    plan_ = fftwf_plan_dft_1d(static_cast<int>(size_), reinterpret_cast<fftwf_complex*>(in_),
                              reinterpret_cast<fftwf_complex*>(out_),
                              direction == Direction::Forward ? FFTW_FORWARD : FFTW_BACKWARD, FFTW_ESTIMATE);
}

FftPlan::~FftPlan()
{
    std::lock_guard<std::mutex> lock(plannerMutex());
    fftwf_destroy_plan(static_cast<fftwf_plan>(plan_));
    fftwf_free(in_);
    fftwf_free(out_);
}

void FftPlan::execute() { fftwf_execute(static_cast<fftwf_plan>(plan_)); }

}  // namespace nimbra::iq
