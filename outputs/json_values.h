// Values for the JSON messages of the network outputs: positions rounded to what the fix really
// resolves (so that a 32-bit float does not print as 39.750099182128906), and compact text that
// never throws on a user's string that is not valid UTF-8.
#pragma once

#include <cmath>
#include <nlohmann/json.hpp>
#include <string>

namespace nimbra::outputs {

// Degrees to 6 decimals (about 0.1 m).
inline double degrees6(float v) { return std::round(static_cast<double>(v) * 1e6) / 1e6; }
// Metres or metres per second to 1 decimal.
inline double tenths(float v) { return std::round(static_cast<double>(v) * 10.0) / 10.0; }

// One line of JSON; bytes that are not UTF-8 become U+FFFD.
inline std::string compactJson(const nlohmann::ordered_json& value)
{
    return value.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

}  // namespace nimbra::outputs
