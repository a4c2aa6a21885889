// The chase-map message: one JSON object per fix, in the "PAYLOAD_SUMMARY" form that
// chase-mapping programs read from UDP port 55673.
//
// In:  a fix, its context (serial, whether motion is known), the sonde type and the station name.
// Out: the datagram's text: type, callsign (the serial), latitude and longitude (float degrees),
//      altitude (integer metres), speed (integer km/h, -1 unknown), heading (integer degrees
//      0-359, -1 unknown), time ("HH:MM:SS" UTC), model, frame (the time counter), sats (when the
//      block has them), freq ("1680.120 MHz", when an SDR heard it on a known tuning), comment
//      (with the predicted landing when there is one) and station.
#pragma once

#include <string>

#include "flight/flight_fix.h"
#include "outputs/fix_context.h"

namespace nimbra::outputs {

std::string chaseMessage(const FlightFix& fix, const FixContext& context, const std::string& model,
                         const std::string& stationName);

// The comment: "Nimbra", then "; landing 39.81234,-76.54321 at 07:45:10Z" when a landing
// prediction is valid.
std::string chaseComment(const FlightFix& fix);

}  // namespace nimbra::outputs
