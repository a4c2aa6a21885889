// PendingFile: a file written whole or not at all.
//
// PendingFile creates a temporary file beside the target at the start of the run, so that an
// output that cannot be written is reported before anything is decoded, and renames it over the
// target only when the whole document has been written: an interrupted run never leaves a half
// file over an older one.
#pragma once

#include <string>

namespace nimbra::formats {

class PendingFile {
public:
    PendingFile() = default;
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    // Creates the temporary file; false with `error` set when the target's folder is not writable.
    bool open(const std::string& target, std::string& error);
    // Writes `content` to the temporary file and renames it to the target.
    bool commit(const std::string& content, std::string& error);
    bool isOpen() const { return fd_ >= 0; }

private:
    std::string target_;
    std::string temp_;
    int fd_ = -1;
};

}  // namespace nimbra::formats
