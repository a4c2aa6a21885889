// Time stamp of a decoded-text line: "dd MMM yyyy hh:mm:ss" in UTC with English month
// abbreviations ("06 Dec 2026 06:17:45"), whatever the process locale or time zone is.
//
// In:  milliseconds since 1970-01-01 00:00:00 UTC (negative values are before 1970).
// Out: 20 characters and a terminating NUL.
#pragma once

#include <cstdint>

namespace nimbra {

constexpr int kTimeStampSize = 21;  // characters including the NUL

void formatTimeStamp(std::int64_t msSinceEpoch, char (&out)[kTimeStampSize]);

}  // namespace nimbra
