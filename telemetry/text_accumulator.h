// TextAccumulator: decoded-text lines handed from the decoding thread to whoever drains them.
// One lock is held for each append and for each take-and-clear, so a drain sees whole lines in the
// order they were made and no line is seen twice or lost between a take and the next append.
#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>

namespace nimbra {

class TextAccumulator {
public:
    void append(std::string_view text);
    // Returns everything appended since the last take and leaves the accumulator empty.
    std::string takeAll();
    bool empty() const;

private:
    mutable std::mutex mutex_;
    std::string text_;
};

}  // namespace nimbra
