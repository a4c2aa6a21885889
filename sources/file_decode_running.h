// fileDecodeRunning: 1 while a WAVE decoding thread feeds the decoder, else 0. The periodic loop
// discards live audio while it is set, so that one thread at a time drives the decoder.
#pragma once

#include <atomic>

namespace nimbra {

extern std::atomic<int> fileDecodeRunning;

}  // namespace nimbra
