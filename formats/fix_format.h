// Fix formats for standard output: CSV (a header row, one row per accepted fix) and JSON Lines
// (one object per fix). Both carry every value known of the fix.
//
// In:  FlightFix (the decoder's record of an accepted fix and its text line).
// Out: one line of text, LF-terminated. Numbers use '.' as the decimal point whatever the locale.
#pragma once

#include <string>

#include "flight/flight_fix.h"

namespace nimbra::formats {

std::string csvHeader();
std::string csvRow(const FlightFix& fix);
std::string jsonLine(const FlightFix& fix);

}  // namespace nimbra::formats
