#include "telemetry/text_accumulator.h"

#include <utility>

namespace nimbra {

void TextAccumulator::append(std::string_view text)
{
    std::lock_guard<std::mutex> lock(mutex_);
    text_.append(text);
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

}  // namespace nimbra
