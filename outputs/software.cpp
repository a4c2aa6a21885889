#include "outputs/software.h"

#ifndef NIMBRA_VERSION
#error "NIMBRA_VERSION is set by the build"
#endif

namespace nimbra::outputs {

const char* const kSoftwareVersion = NIMBRA_VERSION;

const char* userAgent() { return "Nimbra-" NIMBRA_VERSION; }

}  // namespace nimbra::outputs
