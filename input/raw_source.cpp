// Raw 16-bit input: the same reading as the desktop program's WAVE path (header not parsed,
// every pair of bytes one little-endian sample), generalised to interleaved channels.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include "input/sample_source.h"

namespace nimbra::input {

namespace {

class RawSource : public SampleSource {
public:
    RawSource(int fd, std::string name, double rate, int channels, int channel, std::int64_t bytes)
        : fd_(fd), name_(std::move(name)), rate_(rate), channels_(channels), channel_(channel)
    {
        const std::int64_t frameBytes = 2 * static_cast<std::int64_t>(channels_);
        totalFrames_ = bytes >= 0 ? bytes / frameBytes : -1;
    }
    ~RawSource() override
    {
        if (fd_ > 2)
            ::close(fd_);
    }

    long read(std::vector<float>& out, std::size_t maxFrames) override
    {
        const std::size_t frameBytes = 2 * static_cast<std::size_t>(channels_);
        interrupted_ = false;
        buffer_.resize(maxFrames * frameBytes);
        // Keep the bytes of a partial frame from the previous read in front.
        std::size_t have = pending_.size();
        std::copy(pending_.begin(), pending_.end(), buffer_.begin());
        pending_.clear();
        while (true) {
            const ssize_t n = waitForData() ? ::read(fd_, buffer_.data() + have, buffer_.size() - have) : -1;
            if (n < 0) {
                if (errno == EINTR) {
                    interrupted_ = true;
                    pending_.assign(buffer_.begin(), buffer_.begin() + static_cast<long>(have));
                    return -1;
                }
                error_ = name_ + ": " + std::strerror(errno);
                return -1;
            }
            if (n == 0) {
                // End of input: any partial frame left is not a sample.
                break;
            }
            have += static_cast<std::size_t>(n);
            if (have >= frameBytes)
                break;
        }
        const std::size_t frames = have / frameBytes;
        pending_.assign(buffer_.begin() + static_cast<long>(frames * frameBytes),
                        buffer_.begin() + static_cast<long>(have));
        if (frames == 0)
            pending_.clear();
        const unsigned char* p = buffer_.data() + 2 * static_cast<std::size_t>(channel_);
        for (std::size_t i = 0; i < frames; ++i, p += frameBytes) {
            const auto v = static_cast<std::int16_t>(static_cast<std::uint16_t>(p[0] | (p[1] << 8)));
            out.push_back(static_cast<float>(v));
        }
        return static_cast<long>(frames);
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
    // Waits until the input has data (or its end) or the stop descriptor is readable. False with
    // errno EINTR when the run is to stop; true otherwise, also when poll itself fails, so that
    // read() reports the input's own error.
    bool waitForData()
    {
        if (stopFd_ < 0)
            return true;
        pollfd fds[2] = {{fd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
        while (::poll(fds, 2, -1) < 0) {
            if (errno != EINTR)
                return true;
            // The handler has written to the stop pipe by now: the next poll returns at once.
        }
        if (fds[1].revents != 0) {
            errno = EINTR;
            return false;
        }
        return true;
    }

    int fd_;
    std::string name_;
    double rate_;
    int channels_;
    int channel_;
    std::int64_t totalFrames_ = -1;
    std::vector<unsigned char> buffer_;
    std::vector<unsigned char> pending_;
};

}  // namespace

std::unique_ptr<SampleSource> openRawSource(int fd, const std::string& name, double rate,
                                            int channels, int channel)
{
    std::int64_t bytes = -1;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
        bytes = st.st_size;
    return std::make_unique<RawSource>(fd, name, rate, channels, channel, bytes);
}

std::unique_ptr<SampleSource> openRawFile(const std::string& path, double rate, int channels,
                                          int channel, std::string& error)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = path + ": " + std::strerror(errno);
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        error = path + ": is a directory, not a recording";
        return nullptr;
    }
    return openRawSource(fd, path, rate, channels, channel);
}

}  // namespace nimbra::input
