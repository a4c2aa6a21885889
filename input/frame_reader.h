// FrameReader: whole fixed-size frames of bytes from a file descriptor (a raw file or a pipe), for
// the raw sample sources (16-bit audio, interleaved IQ).
//
// In:  a descriptor (owned: closed on destruction unless it is 0, 1 or 2), the frame size in bytes,
//      an optional stop descriptor.
// Out: up to the asked number of whole frames per read. A pipe delivers what has arrived, without
//      waiting for a full block; the bytes of a frame cut by a read are kept for the next one, and
//      an incomplete frame at the very end of the input is not a frame (the input decodes to its
//      last whole frame).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace nimbra::input {

class FrameReader {
public:
    FrameReader(int fd, std::string name, std::size_t frameBytes);
    ~FrameReader();
    FrameReader(const FrameReader&) = delete;
    FrameReader& operator=(const FrameReader&) = delete;

    // Reads up to `maxFrames` frames; `bytes` then holds them, frame after frame. Returns the
    // number of frames: 0 at the end of the input, -1 on a read error (see error()) or when the
    // stop descriptor became readable while waiting (see interrupted()).
    long read(std::size_t maxFrames, std::vector<unsigned char>& bytes);

    // Bytes in the whole input when it is a regular file, else -1.
    std::int64_t sizeBytes() const { return sizeBytes_; }
    // Bytes of an incomplete last frame that the end of the input cut off.
    std::size_t droppedAtEnd() const { return droppedAtEnd_; }
    const std::string& error() const { return error_; }
    bool interrupted() const { return interrupted_; }
    void setStopFd(int fd) { stopFd_ = fd; }

private:
    bool waitForData();

    int fd_;
    std::string name_;
    std::size_t frameBytes_;
    std::int64_t sizeBytes_ = -1;
    std::size_t droppedAtEnd_ = 0;
    std::string error_;
    bool interrupted_ = false;
    int stopFd_ = -1;
    std::vector<unsigned char> pending_;  // bytes of a frame cut by the previous read
};

// Opens `path` for raw reading: O_RDONLY, not a directory. Returns the descriptor, or -1 with
// `error` set.
int openRawPath(const std::string& path, std::string& error);

}  // namespace nimbra::input
