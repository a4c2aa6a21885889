// TextAccumulator: decoded-text lines handed from the decoding thread to whoever drains them.
// One lock is held for each append and for each take-and-clear, so a drain sees whole lines in the
// order they were made and no line is seen twice or lost between a take and the next append.
//
// The text is bounded (kDefaultLimit bytes), so that an accumulator nobody drains cannot grow
// for days. The limit is far above what can pile up between two drains of a working consumer: a
// line is at most about 2.2 KB (both PTU texts included) and a GPS block lasts at least 600
// samples, so one second of audio yields at most 80 lines, 176 KB; the window drains twice a
// second and the file thread after every 10.4 s chunk (1.8 MB at worst). A real flight makes one
// line of about 60 bytes a second, so 16 MiB hold three days of it. Only when the limit would be
// passed are the oldest whole lines dropped (at least a quarter of the limit at once, so that
// appends stay cheap), the newest kept, and the dropped lines counted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

namespace nimbra {

class TextAccumulator {
public:
    static constexpr std::size_t kDefaultLimit = 16u << 20;  // bytes

    explicit TextAccumulator(std::size_t limit = kDefaultLimit) : limit_(limit) {}

    void append(std::string_view text);
    // Appends one line and the carriage return that ends it, together.
    void appendLine(std::string_view line);
    // Returns everything appended since the last take and leaves the accumulator empty.
    std::string takeAll();
    bool empty() const;
    // Lines dropped so far because the text would have passed the limit.
    std::uint64_t droppedLines() const;

private:
    void makeRoom(std::size_t incoming);

    mutable std::mutex mutex_;
    std::string text_;
    std::size_t limit_;
    std::uint64_t droppedLines_ = 0;
};

}  // namespace nimbra
