// SondeHub telemetry: the objects this station uploads, in the network's published format.
//
// In:  a fix and its context, the sonde's identity strings, the uploader (callsign and, when the
//      user gave one, the station position).
// Out: one telemetry object per fix: software_name, software_version, uploader_callsign,
//      time_received and datetime (the fix's time stamp, ISO 8601 with microseconds), manufacturer,
//      type, serial, frame (the time counter), lat, lon, alt; vel_v, vel_h and heading once the
//      motion is known, sats when the block has them, frequency (MHz) when an SDR heard it on a
//      known tuning, uploader_position when the station is set.
//      The listener object announces the station: software_*, uploader_callsign,
//      uploader_position, mobile (false for a fixed station, true for a chase car).
//
// The decoder does not read the sonde's GPS time, so datetime is the time the fix was received.
#pragma once

#include <optional>
#include <string>

#include "flight/flight_fix.h"
#include "formats/track_documents.h"
#include "outputs/fix_context.h"
#include "outputs/sonde_identity.h"

namespace nimbra::outputs {

inline constexpr const char* kDefaultTelemetryUrl = "https://api.v2.sondehub.org/sondes/telemetry";

struct Uploader {
    std::string callsign;
    std::optional<formats::Station> position;  // only a position the user gave
};

// The telemetry object as one line of JSON (no line feed).
std::string telemetryObject(const FlightFix& fix, const FixContext& context, const SondeIdentity& identity,
                            const Uploader& uploader);
// The listener object (needs uploader.position); `mobile` for a chase car.
std::string listenerObject(const Uploader& uploader, bool mobile = false);
// Where the station's position goes: the network's listener endpoint beside its telemetry
// endpoint (".../sondes/telemetry" gives ".../listeners"), or "listeners" beside the last path
// segment of any other URL ("http://host:8080/" gives "http://host:8080/listeners").
std::string listenerUrlFor(const std::string& telemetryUrl);

}  // namespace nimbra::outputs
