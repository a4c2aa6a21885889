// ISO 8601 times as nimbra-decode reads them (--start-time) and as every output writes them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace nimbra::formats {

// Parses "2026-12-07T06:17:45Z", "2026-12-07T06:17:45.250+01:00", "2026-12-07 06:17:45" (no zone:
// UTC) into milliseconds since 1970-01-01 UTC.
std::optional<std::int64_t> parseIsoTime(const std::string& text);

// Formats milliseconds since 1970-01-01 UTC as "2026-12-07T06:17:45Z" (whole seconds, truncated).
std::string formatIsoTime(std::int64_t ms);

// Formats milliseconds since 1970-01-01 UTC with six decimals of a second, as network services
// expect them: "2026-12-07T06:17:45.250000Z".
std::string formatIsoTimeMicros(std::int64_t ms);

}  // namespace nimbra::formats
