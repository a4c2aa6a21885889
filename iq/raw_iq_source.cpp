// Raw interleaved IQ from a file or a pipe.
#include <unistd.h>

#include "input/frame_reader.h"
#include "iq/iq_source.h"

namespace nimbra::iq {

namespace {

class RawIqSource : public IqSource {
public:
    RawIqSource(int fd, const std::string& name, IqFormat format, double rate)
        : reader_(fd, name, bytesPerIqSample(format)), name_(name), format_(format), rate_(rate)
    {
        const std::int64_t bytes = reader_.sizeBytes();
        total_ = bytes >= 0 ? bytes / static_cast<std::int64_t>(bytesPerIqSample(format)) : -1;
    }

    long read(std::vector<std::complex<float>>& out, std::size_t maxSamples) override
    {
        reader_.setStopFd(stopFd_);
        const long n = reader_.read(maxSamples, bytes_);
        interrupted_ = reader_.interrupted();
        if (n < 0) {
            error_ = reader_.error();
            return -1;
        }
        const std::size_t old = out.size();
        out.resize(old + static_cast<std::size_t>(n));
        convertIq(format_, bytes_.data(), static_cast<std::size_t>(n), out.data() + old);
        return n;
    }

    double sampleRate() const override { return rate_; }
    std::size_t droppedAtEnd() const override { return reader_.droppedAtEnd(); }
    std::int64_t totalFrames() const override { return total_; }
    std::string describe() const override
    {
        return name_ + ": " + iqFormatDescription(format_) + ", " +
               std::to_string(static_cast<long long>(rate_)) + " samples/s";
    }

private:
    input::FrameReader reader_;
    std::string name_;
    IqFormat format_;
    double rate_;
    std::int64_t total_ = -1;
    std::vector<unsigned char> bytes_;
};

}  // namespace

std::unique_ptr<IqSource> openRawIq(int fd, const std::string& name, IqFormat format, double rate)
{
    return std::make_unique<RawIqSource>(fd, name, format, rate);
}

}  // namespace nimbra::iq
