// Progress: a one-line progress bar on standard error while a file is decoded.
//
// In:  frames done out of the total, audio seconds done, wall-clock time.
// Out: "[#########           ]  45%   1234x real time", redrawn at most five times a second
//      in place; clear() removes it before other output and at the end.
#pragma once

#include <chrono>
#include <cstdint>

namespace nimbra::cli {

class Progress {
public:
    // Enabled only when standard error is a terminal and the input length is known.
    Progress(bool enabled, std::int64_t totalFrames, double sampleRate);

    void update(std::int64_t framesDone, bool force = false);
    void clear();

private:
    bool enabled_;
    bool shown_ = false;
    std::int64_t totalFrames_;
    double sampleRate_;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastDraw_;
    std::int64_t framesDone_ = 0;
};

}  // namespace nimbra::cli
