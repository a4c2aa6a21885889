// Signals for the demodulator tests: an asynchronous serial line at any bit length, and
// Gaussian noise that is the same on every platform.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

namespace nimbra::testing {

// Writes an 8N1 line (start bit 0, eight data bits LSB first, stop bit 1) at any number of
// samples per bit. Bit k covers the samples from round(k x spb) on.
class LineWriter {
public:
    LineWriter(double samplesPerBit, float oneLevel, float zeroLevel)
        : spb_(samplesPerBit), one_(oneLevel), zero_(zeroLevel)
    {
    }

    void bit(int b)
    {
        bits_ += 1.0;
        const auto end = static_cast<std::size_t>(std::floor(bits_ * spb_ + 0.5));
        while (samples.size() < end)
            samples.push_back(b ? one_ : zero_);
    }
    void idle(int bitCount)
    {
        for (int i = 0; i < bitCount; ++i)
            bit(1);
    }
    void character(int c)
    {
        bit(0);
        for (int i = 0; i < 8; ++i)
            bit((c >> i) & 1);
        bit(1);
    }
    template <class Chars>
    void characters(const Chars& cs)
    {
        for (auto c : cs)
            character(c);
    }

    std::vector<float> samples;

private:
    double spb_;
    double bits_ = 0.0;
    float one_;
    float zero_;
};

// Gaussian noise from a fixed seed.
class Noise {
public:
    explicit Noise(std::uint64_t seed) : state_(seed) {}
    double next()
    {
        const double u1 = (static_cast<double>(raw() >> 11) + 1.0) / 9007199254740993.0;
        const double u2 = static_cast<double>(raw() >> 11) / 9007199254740992.0;
        return std::sqrt(-2.0 * std::log(u1)) * std::cos(6.283185307179586 * u2);
    }

private:
    std::uint64_t raw()
    {
        state_ += 0x9E3779B97F4A7C15ull;
        std::uint64_t z = state_;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    std::uint64_t state_;
};

}  // namespace nimbra::testing
