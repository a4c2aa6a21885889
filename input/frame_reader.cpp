#include "input/frame_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nimbra::input {

FrameReader::FrameReader(int fd, std::string name, std::size_t frameBytes)
    : fd_(fd), name_(std::move(name)), frameBytes_(std::max<std::size_t>(frameBytes, 1))
{
    struct stat st {};
    if (::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode))
        sizeBytes_ = st.st_size;
}

FrameReader::~FrameReader()
{
    if (fd_ > 2)
        ::close(fd_);
}

long FrameReader::read(std::size_t maxFrames, std::vector<unsigned char>& bytes)
{
    interrupted_ = false;
    bytes.resize(std::max<std::size_t>(maxFrames, 1) * frameBytes_);
    // The bytes of a frame cut by the previous read go in front.
    std::size_t have = pending_.size();
    std::copy(pending_.begin(), pending_.end(), bytes.begin());
    pending_.clear();
    while (true) {
        const ssize_t n = waitForData() ? ::read(fd_, bytes.data() + have, bytes.size() - have) : -1;
        if (n < 0) {
            if (errno == EINTR) {
                interrupted_ = true;
                pending_.assign(bytes.begin(), bytes.begin() + static_cast<long>(have));
                bytes.clear();
                return -1;
            }
            error_ = name_ + ": " + std::strerror(errno);
            bytes.clear();
            return -1;
        }
        if (n == 0) {
            droppedAtEnd_ = have % frameBytes_;
            break;
        }
        have += static_cast<std::size_t>(n);
        if (have >= frameBytes_)
            break;
    }
    const std::size_t frames = have / frameBytes_;
    pending_.assign(bytes.begin() + static_cast<long>(frames * frameBytes_),
                    bytes.begin() + static_cast<long>(have));
    if (frames == 0)
        pending_.clear();  // the end of the input: what is left is not a frame
    bytes.resize(frames * frameBytes_);
    return static_cast<long>(frames);
}

// Waits until the input has data (or its end) or the stop descriptor is readable. False with
// errno EINTR when the run is to stop; true otherwise, also when poll itself fails, so that read()
// reports the input's own error.
bool FrameReader::waitForData()
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

int openRawPath(const std::string& path, std::string& error)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = path + ": " + std::strerror(errno);
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        error = path + ": is a directory, not a recording";
        return -1;
    }
    return fd;
}

}  // namespace nimbra::input
