// The name and version this program gives itself on the network (SondeHub's software_name and
// software_version, the HTTP User-Agent).
#pragma once

namespace nimbra::outputs {

inline constexpr const char* kSoftwareName = "Nimbra";
extern const char* const kSoftwareVersion;  // the project's version, e.g. "1.0.0"
// "Nimbra-1.0.0"
const char* userAgent();

}  // namespace nimbra::outputs
