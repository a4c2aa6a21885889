#include "formats/pending_file.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace nimbra::formats {

PendingFile::~PendingFile()
{
    if (fd_ >= 0) {
        ::close(fd_);
        ::unlink(temp_.c_str());
    }
}

bool PendingFile::open(const std::string& target, std::string& error)
{
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        error = target + ": is a directory; name the file to write";
        return false;
    }
    target_ = target;
    std::vector<char> name(target.begin(), target.end());
    const std::string suffix = ".XXXXXX";
    name.insert(name.end(), suffix.begin(), suffix.end());
    name.push_back('\0');
    fd_ = ::mkstemp(name.data());
    if (fd_ < 0) {
        error = target + ": cannot be written (" + std::strerror(errno) + ")";
        return false;
    }
    temp_ = name.data();
    // mkstemp makes the file private; a track file is an ordinary document.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd_, 0666 & ~mask);
    return true;
}

bool PendingFile::commit(const std::string& content, std::string& error)
{
    if (fd_ < 0) {
        error = target_ + ": not open";
        return false;
    }
    std::size_t written = 0;
    while (written < content.size()) {
        const ssize_t n = ::write(fd_, content.data() + written, content.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = target_ + ": cannot be written (" + std::strerror(errno) + ")";
            return false;
        }
        written += static_cast<std::size_t>(n);
    }
    // Closed whether or not the sync succeeds, so a failed sync does not leak the descriptor.
    int failure = ::fsync(fd_) != 0 ? errno : 0;
    if (::close(fd_) != 0 && failure == 0)
        failure = errno;
    fd_ = -1;
    if (failure != 0) {
        ::unlink(temp_.c_str());
        error = target_ + ": cannot be written (" + std::strerror(failure) + ")";
        return false;
    }
    if (::rename(temp_.c_str(), target_.c_str()) != 0) {
        error = target_ + ": cannot be written (" + std::strerror(errno) + ")";
        ::unlink(temp_.c_str());
        return false;
    }
    return true;
}

}  // namespace nimbra::formats
