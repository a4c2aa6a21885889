// FuzzInput: reads a fuzz input as a fixed-layout header followed by a free body.
//
// In:  the bytes libFuzzer hands to a target.
// Out: bytes, 32- and 64-bit little-endian integers, and floats that are either inside a
//      sensible range or raw bit patterns (NaN, infinities, denormals, huge values).
//
// Past the end every read yields zero, so a short input still gives a complete header. The
// header has a fixed size whatever its contents, which keeps the body of a seed file (a block of
// telemetry, a recording) at the same offset through mutations of the header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace nimbra::fuzz {

class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::uint8_t byte() { return pos_ < size_ ? data_[pos_++] : (pos_++, 0); }

    std::uint32_t u32()
    {
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v |= static_cast<std::uint32_t>(byte()) << (8 * i);
        return v;
    }

    std::uint64_t u64()
    {
        const std::uint64_t lo = u32();
        return lo | (static_cast<std::uint64_t>(u32()) << 32);
    }

    // A mode byte and four value bytes. Mode 0 (mod 8) gives the raw bit pattern as a float;
    // any other mode spreads the 32-bit value evenly over [lo, hi].
    float real(float lo, float hi)
    {
        const std::uint8_t mode = byte();
        const std::uint32_t bits = u32();
        if (mode % 8 == 0) {
            float raw;
            std::memcpy(&raw, &bits, sizeof raw);
            return raw;
        }
        const double unit = static_cast<double>(bits) / 4294967295.0;
        const double low = static_cast<double>(lo);
        return static_cast<float>(low + (static_cast<double>(hi) - low) * unit);
    }

    // Everything after the bytes read so far (empty when the header ran past the end).
    const std::uint8_t* rest() const { return pos_ < size_ ? data_ + pos_ : data_ + size_; }
    std::size_t restSize() const { return pos_ < size_ ? size_ - pos_ : 0; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

}  // namespace nimbra::fuzz
