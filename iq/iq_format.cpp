#include "iq/iq_format.h"

#include <cmath>
#include <cstdint>
#include <cstring>

namespace nimbra::iq {

std::optional<IqFormat> parseIqFormat(const std::string& name)
{
    if (name == "cu8")
        return IqFormat::Cu8;
    if (name == "cs8")
        return IqFormat::Cs8;
    if (name == "cs16")
        return IqFormat::Cs16;
    if (name == "cf32")
        return IqFormat::Cf32;
    if (name == "wav")
        return IqFormat::Wave;
    return std::nullopt;
}

const char* iqFormatName(IqFormat format)
{
    switch (format) {
    case IqFormat::Cu8: return "cu8";
    case IqFormat::Cs8: return "cs8";
    case IqFormat::Cs16: return "cs16";
    case IqFormat::Cf32: return "cf32";
    case IqFormat::Wave: return "wav";
    }
    return "?";
}

const char* iqFormatDescription(IqFormat format)
{
    switch (format) {
    case IqFormat::Cu8: return "raw IQ, unsigned 8-bit";
    case IqFormat::Cs8: return "raw IQ, signed 8-bit";
    case IqFormat::Cs16: return "raw IQ, signed 16-bit little-endian";
    case IqFormat::Cf32: return "raw IQ, 32-bit float little-endian";
    case IqFormat::Wave: return "IQ WAVE";
    }
    return "?";
}

std::size_t bytesPerIqSample(IqFormat format)
{
    switch (format) {
    case IqFormat::Cu8:
    case IqFormat::Cs8: return 2;
    case IqFormat::Cs16: return 4;
    case IqFormat::Cf32: return 8;
    case IqFormat::Wave: return 0;
    }
    return 0;
}

namespace {

float finiteOrZero(float v) { return std::isfinite(v) ? v : 0.0f; }

float littleEndianFloat(const unsigned char* p)
{
    const std::uint32_t u = std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) |
                            (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[3]} << 24);
    float v;
    std::memcpy(&v, &u, sizeof v);
    return finiteOrZero(v);
}

}  // namespace

void convertIq(IqFormat format, const unsigned char* p, std::size_t count, std::complex<float>* out)
{
    switch (format) {
    case IqFormat::Cu8:
        for (std::size_t i = 0; i < count; ++i, p += 2)
            out[i] = {(float(p[0]) - 127.5f) * (1.0f / 128.0f), (float(p[1]) - 127.5f) * (1.0f / 128.0f)};
        break;
    case IqFormat::Cs8:
        for (std::size_t i = 0; i < count; ++i, p += 2)
            out[i] = {float(static_cast<std::int8_t>(p[0])) * (1.0f / 128.0f),
                      float(static_cast<std::int8_t>(p[1])) * (1.0f / 128.0f)};
        break;
    case IqFormat::Cs16:
        for (std::size_t i = 0; i < count; ++i, p += 4) {
            const auto re = static_cast<std::int16_t>(static_cast<std::uint16_t>(p[0] | (p[1] << 8)));
            const auto im = static_cast<std::int16_t>(static_cast<std::uint16_t>(p[2] | (p[3] << 8)));
            out[i] = {float(re) * (1.0f / 32768.0f), float(im) * (1.0f / 32768.0f)};
        }
        break;
    case IqFormat::Cf32:
        for (std::size_t i = 0; i < count; ++i, p += 8)
            out[i] = {littleEndianFloat(p), littleEndianFloat(p + 4)};
        break;
    case IqFormat::Wave:
        break;
    }
}

}  // namespace nimbra::iq
