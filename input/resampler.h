// Resampler: any input rate to the decoder's 48,000 samples/s, through libsoxr at high quality.
//
// In:  blocks of float samples (PCM units) at the input rate; then finish() once at the end.
// Out: float samples at 48,000 samples/s appended to the caller's vector, as soon as the filter
//      can give them (a stream is resampled as it arrives, not at the end).
#pragma once

#include <string>
#include <vector>

struct soxr;

namespace nimbra::input {

class Resampler {
public:
    // Check ok() afterwards; error() says why not.
    Resampler(double inputRate, double outputRate);
    ~Resampler();
    Resampler(const Resampler&) = delete;
    Resampler& operator=(const Resampler&) = delete;

    bool ok() const { return soxr_ != nullptr; }
    const std::string& error() const { return error_; }

    void process(const std::vector<float>& in, std::vector<float>& out);
    // Drains what the filter still holds at the end of the input.
    void finish(std::vector<float>& out);

private:
    soxr* soxr_ = nullptr;
    double ratio_ = 1.0;
    std::string error_;
    std::vector<float> buffer_;
};

}  // namespace nimbra::input
