// Random: a small, portable random source with a fixed seed, so that every synthesized recording
// can be made again bit for bit on any platform and standard library.
//
// xoshiro256** seeded through splitmix64, and Gaussian values by the Marsaglia polar method. The
// standard library's distributions are avoided on purpose: their output differs between
// implementations.
#pragma once

#include <cmath>
#include <cstdint>

namespace nimbra::synth {

class Random {
public:
    explicit Random(std::uint64_t seed)
    {
        for (auto& word : state_) {
            seed += 0x9E3779B97F4A7C15ull;
            std::uint64_t z = seed;
            z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
            z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
            word = z ^ (z >> 31);
        }
    }

    std::uint64_t next()
    {
        const std::uint64_t result = rotl(state_[1] * 5, 7) * 9;
        const std::uint64_t t = state_[1] << 17;
        state_[2] ^= state_[0];
        state_[3] ^= state_[1];
        state_[1] ^= state_[2];
        state_[0] ^= state_[3];
        state_[2] ^= t;
        state_[3] = rotl(state_[3], 45);
        return result;
    }

    // Uniform in [0, 1).
    double uniform() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }

    // Standard normal (mean 0, variance 1).
    double gaussian()
    {
        if (haveSpare_) {
            haveSpare_ = false;
            return spare_;
        }
        double u, v, s;
        do {
            u = 2.0 * uniform() - 1.0;
            v = 2.0 * uniform() - 1.0;
            s = u * u + v * v;
        } while (s >= 1.0 || s == 0.0);
        const double k = std::sqrt(-2.0 * std::log(s) / s);
        spare_ = v * k;
        haveSpare_ = true;
        return u * k;
    }

private:
    static std::uint64_t rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

    std::uint64_t state_[4] = {};
    double spare_ = 0.0;
    bool haveSpare_ = false;
};

}  // namespace nimbra::synth
