// FftPlan: one FFTW single-precision complex transform with its own aligned buffers, made and
// destroyed under one process-wide lock (FFTW's planner is not thread-safe, and the sensitivity
// sweep runs receivers on several threads). Executing a plan needs no lock.
#pragma once

#include <complex>
#include <cstddef>

namespace nimbra::iq {

class FftPlan {
public:
    enum class Direction { Forward, Inverse };

    FftPlan(std::size_t size, Direction direction);
    ~FftPlan();
    FftPlan(const FftPlan&) = delete;
    FftPlan& operator=(const FftPlan&) = delete;

    std::size_t size() const { return size_; }
    std::complex<float>* in() { return in_; }
    const std::complex<float>* out() const { return out_; }
    // out = the transform of in (unnormalised: a forward and an inverse multiply by size()).
    void execute();

private:
    std::size_t size_;
    std::complex<float>* in_ = nullptr;
    std::complex<float>* out_ = nullptr;
    void* plan_ = nullptr;
};

}  // namespace nimbra::iq
