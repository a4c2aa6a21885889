// Fix formats for standard output: CSV (a header row, one row per accepted fix) and JSON Lines
// (one object per fix). Both carry every value known of the fix, then what the flight tracking
// adds: trusted (true/false), phase (unknown, ascent, burst, descent, landed) and the predicted
// landing pred_lat, pred_lon, pred_time (empty in CSV, null in JSON, while there is none).
//
// Fixes an SDR heard also carry where: offset_hz (the channel against the tuned frequency) and,
// with the tuning known, frequency_mhz: in CSV as the last columns when the run asks for them (the
// columns stay the same for every row), in JSON whenever the fix has them.
//
// In:  FlightFix (the decoder's record of an accepted fix, its text line and its flight values).
// Out: one line of text, LF-terminated. Numbers use '.' as the decimal point whatever the locale.
#pragma once

#include <string>

#include "flight/flight_fix.h"

namespace nimbra::formats {

struct CsvColumns {
    bool offset = false;     // offset_hz
    bool frequency = false;  // frequency_mhz
};

std::string csvHeader(CsvColumns columns = {});
std::string csvRow(const FlightFix& fix, CsvColumns columns = {});
std::string jsonLine(const FlightFix& fix);

}  // namespace nimbra::formats
