#include "telemetry/text_accumulator.h"

#include <algorithm>

namespace nimbra {

namespace {

constexpr char kLineEnd = '\r';

}  // namespace

void TextAccumulator::append(std::string_view text)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (text_.size() + text.size() > limit_)
        makeRoom(text.size());
    text_.append(text);
}

void TextAccumulator::appendLine(std::string_view line)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (text_.size() + line.size() + 1 > limit_)
        makeRoom(line.size() + 1);
    text_.append(line);
    text_.push_back(kLineEnd);
}

// Drops the oldest whole lines: enough that the new text fits, and at least a quarter of the
// limit, so that a full accumulator is not shifted on every append.
void TextAccumulator::makeRoom(std::size_t incoming)
{
    const std::size_t target = limit_ - limit_ / 4;  // size to get down to, new text included
    const std::size_t excess = text_.size() + incoming > target ? text_.size() + incoming - target
                                                                : 0;
    std::size_t cut = text_.size();
    if (excess < text_.size()) {
        // End the cut at a line boundary: the first line end at or after `excess` bytes.
        const std::size_t end = text_.find(kLineEnd, excess == 0 ? 0 : excess - 1);
        cut = end == std::string::npos ? text_.size() : end + 1;
    }
    droppedLines_ += static_cast<std::uint64_t>(
        std::count(text_.begin(), text_.begin() + static_cast<std::ptrdiff_t>(cut), kLineEnd));
    if (cut == text_.size() && !text_.empty() && text_.back() != kLineEnd)
        droppedLines_ += 1;  // an unterminated tail counts as a line too
    text_.erase(0, cut);
}

std::string TextAccumulator::takeAll()
{
    std::string taken;
    std::lock_guard<std::mutex> lock(mutex_);
    taken.swap(text_);
    return taken;
}

bool TextAccumulator::empty() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return text_.empty();
}

std::uint64_t TextAccumulator::droppedLines() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return droppedLines_;
}

}  // namespace nimbra
