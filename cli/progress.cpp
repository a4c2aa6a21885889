#include "cli/progress.h"

#include <cstdio>
#include <string>

namespace nimbra::cli {

Progress::Progress(bool enabled, std::int64_t totalFrames, double sampleRate)
    : enabled_(enabled && totalFrames > 0 && sampleRate > 0.0),
      totalFrames_(totalFrames),
      sampleRate_(sampleRate),
      start_(std::chrono::steady_clock::now()),
      lastDraw_(start_)
{
}

void Progress::update(std::int64_t framesDone, bool force)
{
    framesDone_ = framesDone;
    if (!enabled_)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (!force && now - lastDraw_ < std::chrono::milliseconds(200))
        return;
    lastDraw_ = now;
    const double fraction = framesDone >= totalFrames_ ? 1.0 : static_cast<double>(framesDone) / totalFrames_;
    const double elapsed = std::chrono::duration<double>(now - start_).count();
    const double audioSeconds = static_cast<double>(framesDone) / sampleRate_;
    constexpr int kWidth = 30;
    const int filled = static_cast<int>(fraction * kWidth);
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.append(static_cast<std::size_t>(kWidth - filled), ' ');
    // Non-final draws come at least 200 ms after the start; the final one of a short file can come
    // after a few milliseconds, and its speed is still the whole run's, so it is shown too. Only
    // a clock that has not moved at all gives no speed.
    if (elapsed > 0.0)
        std::fprintf(stderr, "\r[%s] %3d%%  %6.0fx real time", bar.c_str(), static_cast<int>(fraction * 100.0),
                     audioSeconds / elapsed);
    else
        std::fprintf(stderr, "\r[%s] %3d%%", bar.c_str(), static_cast<int>(fraction * 100.0));
    std::fflush(stderr);
    shown_ = true;
}

void Progress::clear()
{
    if (!shown_)
        return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    shown_ = false;
}

}  // namespace nimbra::cli
