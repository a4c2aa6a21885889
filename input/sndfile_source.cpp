// Audio files through libsndfile: WAVE, FLAC, AIFF and the other formats it reads, any rate and
// channel count. Samples are read as floats normalised to [-1, 1) and scaled by 32768, so 16-bit
// files come out as their exact integer values and other widths are scaled to the 16-bit range.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include "input/audio_file_info.h"
#include "input/sample_source.h"

namespace nimbra::input {

namespace {

std::string formatName(int format, int command)
{
    SF_FORMAT_INFO info{};
    info.format = format;
    if (sf_command(nullptr, command, &info, sizeof info) == 0 && info.name)
        return info.name;
    return "unknown";
}

class SndfileSource : public SampleSource {
public:
    SndfileSource(SNDFILE* file, const SF_INFO& info, std::string path, int channel)
        : file_(file), info_(info), path_(std::move(path)), channel_(channel)
    {
    }
    ~SndfileSource() override { sf_close(file_); }

    long read(std::vector<float>& out, std::size_t maxFrames) override
    {
        buffer_.resize(maxFrames * static_cast<std::size_t>(info_.channels));
        const sf_count_t n = sf_readf_float(file_, buffer_.data(), static_cast<sf_count_t>(maxFrames));
        if (n < 0 || (n == 0 && sf_error(file_) != SF_ERR_NO_ERROR)) {
            error_ = path_ + ": " + sf_strerror(file_);
            return -1;
        }
        const float* p = buffer_.data() + (channel_ - 1);
        for (sf_count_t i = 0; i < n; ++i, p += info_.channels)
            out.push_back(*p * 32768.0f);
        return static_cast<long>(n);
    }

    double sampleRate() const override { return info_.samplerate; }
    std::int64_t totalFrames() const override { return info_.frames; }

    std::string describe() const override
    {
        char buf[512];
        std::snprintf(buf, sizeof buf, "%s: %s, %s, %d Hz, %d %s, %.1f s", path_.c_str(),
                      formatName(info_.format & SF_FORMAT_TYPEMASK, SFC_GET_FORMAT_INFO).c_str(),
                      formatName(info_.format & SF_FORMAT_SUBMASK, SFC_GET_FORMAT_INFO).c_str(),
                      info_.samplerate, info_.channels, info_.channels == 1 ? "channel" : "channels",
                      info_.samplerate > 0 ? static_cast<double>(info_.frames) / info_.samplerate : 0.0);
        std::string s = buf;
        if (info_.channels > 1)
            s += ", decoding channel " + std::to_string(channel_);
        return s;
    }

private:
    SNDFILE* file_;
    SF_INFO info_;
    std::string path_;
    int channel_;
    std::vector<float> buffer_;
};

// Opens the file ourselves first, so that a missing or unreadable file gets the system's own
// reason rather than a format complaint; then through libsndfile. Null with `error` set on failure.
SNDFILE* openSndfile(const std::string& path, SF_INFO& info, std::string& error)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = path + ": " + std::strerror(errno);
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        error = path + ": is a directory, not a recording";
        return nullptr;
    }
    info = SF_INFO{};
    SNDFILE* file = sf_open_fd(fd, SFM_READ, &info, SF_TRUE);
    if (!file)
        error = path + ": not an audio file this program can read (" + sf_strerror(nullptr) + ")";
    return file;
}

}  // namespace

AudioFileInfo readAudioFileInfo(const std::string& path)
{
    AudioFileInfo result;
    SF_INFO info{};
    SNDFILE* file = openSndfile(path, info, result.error);
    if (!file)
        return result;
    sf_close(file);
    const int container = info.format & SF_FORMAT_TYPEMASK;
    const int encoding = info.format & SF_FORMAT_SUBMASK;
    result.readable = true;
    result.channels = info.channels;
    result.sampleRate = info.samplerate;
    result.frames = info.frames;
    result.plainWave = container == SF_FORMAT_WAV && encoding == SF_FORMAT_PCM_16 &&
                       info.channels == 1 && info.samplerate == 48000;
    result.format = formatName(container, SFC_GET_FORMAT_INFO) + ", " +
                    formatName(encoding, SFC_GET_FORMAT_INFO) + ", " + std::to_string(info.samplerate) +
                    " Hz, " + std::to_string(info.channels) + (info.channels == 1 ? " channel" : " channels");
    return result;
}

std::unique_ptr<SampleSource> openAudioFile(const std::string& path, int channel, std::string& error)
{
    SF_INFO info{};
    SNDFILE* file = openSndfile(path, info, error);
    if (!file) {
        if (error.find("not an audio file") != std::string::npos)
            error += "; for headerless 16-bit samples use --raw";
        return nullptr;
    }
    // The same range as --rate. A damaged header can claim any rate: at 1 sample/s every
    // sample would be resampled into 48,000, and a file of a few kilobytes would need gigabytes.
    if (info.samplerate < 1000 || info.samplerate > 10000000) {
        sf_close(file);
        error = path + ": the file gives a sample rate of " + std::to_string(info.samplerate) +
                " samples/s; expected 1000 to 10000000";
        return nullptr;
    }
    if (channel > info.channels) {
        error = "--channel " + std::to_string(channel) + " does not exist: " + path + " has " +
                std::to_string(info.channels) + (info.channels == 1 ? " channel" : " channels");
        sf_close(file);
        return nullptr;
    }
    // Integer formats normalised to [-1, 1), float formats as stored: the scaling by 32768 in
    // read() relies on it. (This is libsndfile's default, set here so that it cannot change.)
    sf_command(file, SFC_SET_NORM_FLOAT, nullptr, SF_TRUE);
    return std::make_unique<SndfileSource>(file, info, path, channel);
}

}  // namespace nimbra::input
