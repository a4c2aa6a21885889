#include "sources/file_decode_running.h"

namespace nimbra {

std::atomic<int> fileDecodeRunning{0};

}  // namespace nimbra
