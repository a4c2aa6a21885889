// Raw 16-bit input: the same reading as the desktop program's WAVE path (header not parsed,
// every pair of bytes one little-endian sample), generalised to interleaved channels.
#include <cstdint>
#include <string>

#include "input/frame_reader.h"
#include "input/sample_source.h"

namespace nimbra::input {

namespace {

class RawSource : public SampleSource {
public:
    RawSource(int fd, const std::string& name, double rate, int channels, int channel)
        : reader_(fd, name, 2 * static_cast<std::size_t>(channels)), name_(name), rate_(rate),
          channels_(channels), channel_(channel)
    {
        const std::int64_t bytes = reader_.sizeBytes();
        totalFrames_ = bytes >= 0 ? bytes / (2 * static_cast<std::int64_t>(channels_)) : -1;
    }

    long read(std::vector<float>& out, std::size_t maxFrames) override
    {
        reader_.setStopFd(stopFd_);
        const long frames = reader_.read(maxFrames, buffer_);
        interrupted_ = reader_.interrupted();
        if (frames < 0) {
            error_ = reader_.error();
            return -1;
        }
        const std::size_t frameBytes = 2 * static_cast<std::size_t>(channels_);
        const unsigned char* p = buffer_.data() + 2 * static_cast<std::size_t>(channel_);
        for (long i = 0; i < frames; ++i, p += frameBytes) {
            const auto v = static_cast<std::int16_t>(static_cast<std::uint16_t>(p[0] | (p[1] << 8)));
            out.push_back(static_cast<float>(v));
        }
        return frames;
    }

    double sampleRate() const override { return rate_; }
    std::int64_t totalFrames() const override { return totalFrames_; }

    std::string describe() const override
    {
        std::string s = name_ + ": raw signed 16-bit little-endian samples (header not parsed), " +
                        std::to_string(static_cast<long long>(rate_)) + " Hz, " +
                        std::to_string(channels_) + (channels_ == 1 ? " channel" : " channels");
        if (channels_ > 1)
            s += ", decoding channel " + std::to_string(channel_ + 1);
        return s;
    }

private:
    FrameReader reader_;
    std::string name_;
    double rate_;
    int channels_;
    int channel_;
    std::int64_t totalFrames_ = -1;
    std::vector<unsigned char> buffer_;
};

}  // namespace

std::unique_ptr<SampleSource> openRawSource(int fd, const std::string& name, double rate,
                                            int channels, int channel)
{
    return std::make_unique<RawSource>(fd, name, rate, channels, channel);
}

std::unique_ptr<SampleSource> openRawFile(const std::string& path, double rate, int channels,
                                          int channel, std::string& error)
{
    const int fd = openRawPath(path, error);
    if (fd < 0)
        return nullptr;
    return openRawSource(fd, path, rate, channels, channel);
}

}  // namespace nimbra::input
