// The --help text of nimbra-decode.
#pragma once

namespace nimbra::cli {

extern const char* const kHelpText;

}  // namespace nimbra::cli
