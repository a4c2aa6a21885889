#include "synth/wav_file.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace nimbra::synth {

namespace {

void putLe(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// A chunk's four-letter tag. Byte by byte: a range insert into a growing vector makes GCC's -O3
// see an overflow that is not there.
void putTag(std::vector<std::uint8_t>& out, const char* tag)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(tag[i]));
}

}  // namespace

std::vector<std::int16_t> toPcm16(const std::vector<float>& audio, std::size_t* clipped)
{
    std::vector<std::int16_t> out(audio.size());
    std::size_t clips = 0;
    for (std::size_t i = 0; i < audio.size(); ++i) {
        double v = std::nearbyint(static_cast<double>(audio[i]));
        if (v > 32767.0) {
            v = 32767.0;
            ++clips;
        } else if (v < -32768.0) {
            v = -32768.0;
            ++clips;
        }
        out[i] = static_cast<std::int16_t>(v);
    }
    if (clipped)
        *clipped = clips;
    return out;
}

std::vector<std::uint8_t> waveHeader(std::size_t frames, int sampleRate, int channels,
                                     int bitsPerSample, bool isFloat)
{
    const std::uint32_t frameBytes = static_cast<std::uint32_t>(channels * bitsPerSample / 8);
    const std::uint32_t dataBytes = static_cast<std::uint32_t>(frames * frameBytes);
    std::vector<std::uint8_t> h;
    putTag(h, "RIFF");
    putLe(h, 36 + dataBytes, 4);
    putTag(h, "WAVE");
    putTag(h, "fmt ");
    putLe(h, 16, 4);
    putLe(h, isFloat ? 3 : 1, 2);  // IEEE float or PCM
    putLe(h, static_cast<std::uint32_t>(channels), 2);
    putLe(h, static_cast<std::uint32_t>(sampleRate), 4);
    putLe(h, static_cast<std::uint32_t>(sampleRate) * frameBytes, 4);  // bytes per second
    putLe(h, frameBytes, 2);
    putLe(h, static_cast<std::uint32_t>(bitsPerSample), 2);
    putTag(h, "data");
    putLe(h, dataBytes, 4);
    return h;
}

std::vector<std::uint8_t> waveHeaderMono16(std::size_t sampleCount, int sampleRate)
{
    return waveHeader(sampleCount, sampleRate, 1, 16, false);
}

bool writeWaveMono16(const std::string& path, const std::vector<std::int16_t>& samples,
                     int sampleRate, std::string& error)
{
    if (samples.size() > (0xFFFFFFFFu - 36u) / 2u) {
        error = path + ": recording too long for a WAVE file";
        return false;
    }
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    std::vector<std::uint8_t> bytes = waveHeaderMono16(samples.size(), sampleRate);
    bytes.reserve(bytes.size() + samples.size() * 2);
    for (std::int16_t s : samples)
        putLe(bytes, static_cast<std::uint16_t>(s), 2);
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    const int closeResult = std::fclose(f);
    if (!ok || closeResult != 0) {
        error = path + ": write failed";
        return false;
    }
    return true;
}

}  // namespace nimbra::synth
