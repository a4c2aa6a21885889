#include "synth/iq_writer.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "synth/wav_file.h"

namespace nimbra::synth {

namespace {

// Rounds v x scale + offset to an integer in [lo, hi], counting clips.
long quantise(double v, double scale, double offset, long lo, long hi, std::size_t& clipped)
{
    const double q = std::nearbyint(v * scale + offset);
    if (q < double(lo)) {
        ++clipped;
        return lo;
    }
    if (q > double(hi)) {
        ++clipped;
        return hi;
    }
    return static_cast<long>(q);
}

void putLe(std::vector<unsigned char>& out, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

}  // namespace

std::optional<IqFileFormat> parseIqFileFormat(const std::string& name)
{
    if (name == "cu8")
        return IqFileFormat::Cu8;
    if (name == "cs8")
        return IqFileFormat::Cs8;
    if (name == "cs16")
        return IqFileFormat::Cs16;
    if (name == "cf32")
        return IqFileFormat::Cf32;
    if (name == "wav")
        return IqFileFormat::Wave16;
    if (name == "wav-float")
        return IqFileFormat::WaveFloat;
    return std::nullopt;
}

double iqGainFor(double noiseSigmaPerComponent)
{
    return 0.2 / std::sqrt(0.5 + noiseSigmaPerComponent * noiseSigmaPerComponent);
}

IqWriter::~IqWriter()
{
    if (file_ && ownsFile_)
        std::fclose(file_);
}

bool IqWriter::open(const std::string& path, IqFileFormat format, int sampleRate,
                    std::size_t totalSamples, double gain, std::string& error)
{
    path_ = path == "-" ? "standard output" : path;
    format_ = format;
    gain_ = gain;
    const bool wave = format == IqFileFormat::Wave16 || format == IqFileFormat::WaveFloat;
    const std::size_t frameBytes = format == IqFileFormat::Wave16 ? 4 : 8;
    if (wave && totalSamples > (0xFFFFFFFFu - 36u) / frameBytes) {
        error = path_ + ": recording too long for a WAVE file";
        return false;
    }
    if (path == "-") {
        file_ = stdout;
        ownsFile_ = false;
    } else {
        file_ = std::fopen(path.c_str(), "wb");
        ownsFile_ = true;
        if (!file_) {
            error = path_ + ": " + std::strerror(errno);
            return false;
        }
    }
    if (wave) {
        const bool isFloat = format == IqFileFormat::WaveFloat;
        const std::vector<std::uint8_t> h = waveHeader(totalSamples, sampleRate, 2, isFloat ? 32 : 16, isFloat);
        if (std::fwrite(h.data(), 1, h.size(), file_) != h.size()) {
            error = path_ + ": write failed";
            return false;
        }
    }
    return true;
}

bool IqWriter::write(const std::vector<std::complex<float>>& samples, std::string& error)
{
    bytes_.clear();
    const double g = gain_;
    for (const std::complex<float>& z : samples) {
        const double parts[2] = {double(z.real()) * g, double(z.imag()) * g};
        for (double v : parts) {
            switch (format_) {
            case IqFileFormat::Cu8:
                bytes_.push_back(static_cast<unsigned char>(quantise(v, 128.0, 127.5, 0, 255, clipped_)));
                break;
            case IqFileFormat::Cs8:
                bytes_.push_back(static_cast<unsigned char>(quantise(v, 128.0, 0.0, -128, 127, clipped_)));
                break;
            case IqFileFormat::Cs16:
            case IqFileFormat::Wave16:
                putLe(bytes_, static_cast<std::uint16_t>(quantise(v, 32768.0, 0.0, -32768, 32767, clipped_)), 2);
                break;
            case IqFileFormat::Cf32:
            case IqFileFormat::WaveFloat: {
                const float f = static_cast<float>(v);
                std::uint32_t u;
                std::memcpy(&u, &f, sizeof u);
                putLe(bytes_, u, 4);
                break;
            }
            }
        }
    }
    if (std::fwrite(bytes_.data(), 1, bytes_.size(), file_) != bytes_.size()) {
        error = path_ + ": write failed";
        return false;
    }
    return true;
}

bool IqWriter::close(std::string& error)
{
    if (!file_)
        return true;
    bool ok = std::fflush(file_) == 0 && !std::ferror(file_);
    if (ownsFile_)
        ok = std::fclose(file_) == 0 && ok;
    file_ = nullptr;
    if (!ok)
        error = path_ + ": write failed";
    return ok;
}

}  // namespace nimbra::synth
