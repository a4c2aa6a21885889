#include "iq/wave_iq_source.h"

#include <sndfile.h>

#include <cmath>
#include <unistd.h>

namespace nimbra::iq {

namespace {

class WaveIqSource : public IqSource {
public:
    WaveIqSource(SNDFILE* file, const SF_INFO& info, std::string name)
        : file_(file), info_(info), name_(std::move(name))
    {
    }
    ~WaveIqSource() override { sf_close(file_); }

    long read(std::vector<std::complex<float>>& out, std::size_t maxSamples) override
    {
        buffer_.resize(2 * maxSamples);
        const sf_count_t n = sf_readf_float(file_, buffer_.data(), static_cast<sf_count_t>(maxSamples));
        if (n < 0 || (n == 0 && sf_error(file_) != SF_ERR_NO_ERROR)) {
            error_ = name_ + ": " + sf_strerror(file_);
            return -1;
        }
        const std::size_t old = out.size();
        out.resize(old + static_cast<std::size_t>(n));
        for (sf_count_t i = 0; i < n; ++i) {
            const float re = buffer_[2 * static_cast<std::size_t>(i)];
            const float im = buffer_[2 * static_cast<std::size_t>(i) + 1];
            out[old + static_cast<std::size_t>(i)] = {std::isfinite(re) ? re : 0.0f,
                                                      std::isfinite(im) ? im : 0.0f};
        }
        return static_cast<long>(n);
    }

    double sampleRate() const override { return info_.samplerate; }
    std::int64_t totalFrames() const override
    {
        // A WAVE file written to a pipe cannot state its length; libsndfile then reports a huge
        // or zero count.
        return info_.frames > 0 && info_.frames < (sf_count_t{1} << 40) ? info_.frames : -1;
    }
    std::string describe() const override
    {
        const bool isFloat = (info_.format & SF_FORMAT_SUBMASK) == SF_FORMAT_FLOAT ||
                             (info_.format & SF_FORMAT_SUBMASK) == SF_FORMAT_DOUBLE;
        return name_ + ": IQ WAVE, " + (isFloat ? "float" : "integer") + " samples, " +
               std::to_string(info_.samplerate) + " samples/s";
    }

private:
    SNDFILE* file_;
    SF_INFO info_;
    std::string name_;
    std::vector<float> buffer_;
};

}  // namespace

std::unique_ptr<IqSource> openWaveIq(int fd, const std::string& name, std::string& error)
{
    SF_INFO info{};
    SNDFILE* file = sf_open_fd(fd, SFM_READ, &info, fd > 2 ? SF_TRUE : SF_FALSE);
    if (!file) {
        if (fd > 2)
            ::close(fd);
        error = name + ": not a WAVE file this program can read (" + sf_strerror(nullptr) + ")";
        return nullptr;
    }
    if (info.channels != 2) {
        sf_close(file);
        error = name + ": an IQ WAVE file has two channels (I and Q); this one has " +
                std::to_string(info.channels);
        return nullptr;
    }
    // Integer samples normalised to [-1, 1), float samples as stored.
    sf_command(file, SFC_SET_NORM_FLOAT, nullptr, SF_TRUE);
    return std::make_unique<WaveIqSource>(file, info, name);
}

}  // namespace nimbra::iq
