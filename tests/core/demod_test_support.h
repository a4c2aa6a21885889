// Helpers of the demodulator tests: access to the demodulator state, a serial-line signal
// writer, test packets with their CRC, and a byte tap that records what reaches the framer.
#pragma once

#include <cmath>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "demod/decoder.h"

namespace nimbra {

// The one friend of Decoder that tests use to look at and preset demodulator state.
struct DemodAccess {
    static DemodState& state(Decoder& d) { return d.demod_; }
};

}  // namespace nimbra

namespace demodtest {

// CRC-16/XMODEM: polynomial 0x1021, initial value 0, no reflection, no final exclusive-or.
inline std::uint16_t crcXmodem(const std::vector<int>& bytes)
{
    unsigned crc = 0;
    for (int b : bytes) {
        crc ^= static_cast<unsigned>(b & 0xFF) << 8;
        for (int i = 0; i < 8; ++i)
            crc = (crc & 0x8000u) ? ((crc << 1) ^ 0x1021u) & 0xFFFFu : (crc << 1) & 0xFFFFu;
    }
    return static_cast<std::uint16_t>(crc);
}

// A GPS block from its '$' through its checksum: L + 12 characters. `lengthField` is what the
// block claims at offsets 8-9; the payload really has `payload` bytes.
inline std::vector<int> gpsBlockClaiming(int lengthField, int payload, unsigned seed)
{
    std::vector<int> b = {'$', 'R', 'T', '1', 0x12, 0x34, 0x01, 0x02,
                          (lengthField >> 8) & 0xFF, lengthField & 0xFF};
    unsigned x = seed * 2654435761u + 12345u;
    for (int i = 0; i < payload; ++i) {
        x = x * 1103515245u + 12345u;
        b.push_back(static_cast<int>((x >> 16) & 0xFF));
    }
    const std::uint16_t crc = crcXmodem(b);
    b.push_back(crc >> 8);
    b.push_back(crc & 0xFF);
    return b;
}

inline std::vector<int> gpsBlock(int length, unsigned seed = 1)
{
    return gpsBlockClaiming(length, length, seed);
}

// The characters the radio sends for a block: two sync characters, then the block.
inline std::vector<int> withSync(const std::vector<int>& block)
{
    std::vector<int> chars = {0xCA, 0xCA};
    chars.insert(chars.end(), block.begin(), block.end());
    return chars;
}

// Writes an asynchronous serial line (start bit 0, eight data bits LSB first, stop bit 1) at any
// number of samples per bit. Bit k covers the samples from round(k x spb) on.
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
    void characters(const std::vector<int>& cs)
    {
        for (int c : cs)
            character(c);
    }

    std::vector<float> samples;

private:
    double spb_;
    double bits_ = 0.0;
    float one_;
    float zero_;
};

// Gaussian noise from a fixed seed, the same on every platform.
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

// What reached the packet framer: each character with the index of the sample that produced it.
struct TapRecord {
    std::vector<int> characters;
    std::vector<long> sampleIndex;
};

// Feeds samples one by one and records every character the byte tap sees.
class TappedDecoder {
public:
    TappedDecoder(const TappedDecoder&) = delete;
    TappedDecoder& operator=(const TappedDecoder&) = delete;
    TappedDecoder() : d(std::make_unique<nimbra::Decoder>())
    {
        d->setByteTap([this](int c) {
            tap.characters.push_back(c);
            tap.sampleIndex.push_back(next_);
        });
    }
    void feed(float s)
    {
        d->ProcessSample(s);
        ++next_;
    }
    void feed(const std::vector<float>& samples)
    {
        for (float s : samples)
            feed(s);
    }
    long fed() const { return next_; }
    nimbra::DemodState& state() { return nimbra::DemodAccess::state(*d); }

    std::unique_ptr<nimbra::Decoder> d;
    TapRecord tap;

private:
    long next_ = 0;
};

}  // namespace demodtest
