// Sample sources: where the audio of a recording or a live stream comes from (nimbra-decode and
// the desktop program read files through them).
//
// In:  a raw 16-bit stream (file or standard input), or an audio file read through libsndfile.
// Out: the samples of one channel, as floats in 16-bit PCM units, at the source's own rate, in
//      blocks of whatever is available (a pipe delivers what has arrived, without waiting for a
//      full block).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace nimbra::input {

// A source of samples of type Sample: float for audio, std::complex<float> for an SDR's IQ
// (iq/iq_source.h).
template <class Sample>
class BasicSource {
public:
    virtual ~BasicSource() = default;
    // Appends up to `maxFrames` samples (of the chosen channel) to `out`. Returns the number
    // appended: 0 at the end of the input, -1 on a read error (see error()) or when a signal
    // interrupted a wait for data.
    virtual long read(std::vector<Sample>& out, std::size_t maxFrames) = 0;
    virtual double sampleRate() const = 0;
    // Frames in the whole input, or -1 when unknown (pipes).
    virtual std::int64_t totalFrames() const = 0;
    // What is being read, for the note on standard error.
    virtual std::string describe() const = 0;
    // Bytes of an incomplete last sample that the end of the input cut off (raw inputs).
    virtual std::size_t droppedAtEnd() const { return 0; }
    const std::string& error() const { return error_; }
    bool interrupted() const { return interrupted_; }
    // A descriptor that becomes readable when the run is to stop (the read end of the pipe a
    // signal handler writes to). A source that waits for data also wakes on it, so a stop that
    // comes just before the wait is not missed; read() then reports an interruption.
    void setStopFd(int fd) { stopFd_ = fd; }

protected:
    std::string error_;
    bool interrupted_ = false;
    int stopFd_ = -1;
};

using SampleSource = BasicSource<float>;

// Raw signed 16-bit little-endian samples from byte 0, `channels` interleaved; `channel` is
// 0-based. A trailing partial frame (an odd last byte, say) is ignored. Takes ownership of fd.
std::unique_ptr<SampleSource> openRawSource(int fd, const std::string& name, double rate,
                                            int channels, int channel);

// Opens `path` for raw reading; on failure returns null and sets `error`.
std::unique_ptr<SampleSource> openRawFile(const std::string& path, double rate, int channels,
                                          int channel, std::string& error);

// Opens an audio file through libsndfile; on failure returns null and sets `error`. Integer and
// float formats are scaled to the 16-bit range. `channel` is 1-based.
std::unique_ptr<SampleSource> openAudioFile(const std::string& path, int channel, std::string& error);

}  // namespace nimbra::input
