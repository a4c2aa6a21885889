// IQ sample formats: the interleaved formats the common SDR tools write, and two-channel WAVE.
//
// In:  a format name from the command line ("cu8", "cs8", "cs16", "cf32", "wav"); raw bytes.
// Out: complex samples as floats, full scale 1: I in the real part, Q in the imaginary part.
//      Non-finite float values read as 0, so that nothing after the reader has to guard against
//      them.
#pragma once

#include <complex>
#include <cstddef>
#include <optional>
#include <string>

namespace nimbra::iq {

enum class IqFormat {
    Cu8,   // unsigned 8-bit, 127.5 is zero (rtl_sdr)
    Cs8,   // signed 8-bit (hackrf_transfer)
    Cs16,  // signed 16-bit little-endian
    Cf32,  // 32-bit float little-endian
    Wave,  // two-channel WAVE (I left, Q right), 16-bit or float, rate from the header
};

std::optional<IqFormat> parseIqFormat(const std::string& name);
const char* iqFormatName(IqFormat format);
const char* iqFormatDescription(IqFormat format);

// Bytes of one complex sample of a raw format (0 for Wave).
std::size_t bytesPerIqSample(IqFormat format);

// Converts `count` raw complex samples (count x bytesPerIqSample bytes) to floats.
void convertIq(IqFormat format, const unsigned char* bytes, std::size_t count,
               std::complex<float>* out);

// The sample rates the IQ receiver works at, samples/s.
inline constexpr double kMinIqRate = 48000.0;
inline constexpr double kMaxIqRate = 10000000.0;

}  // namespace nimbra::iq
