// OutputConfig: which network outputs run and how, as nimbra-decode's options and the desktop
// program's Outputs dialog set them. Every output is off until the user turns it on.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "formats/track_documents.h"
#include "outputs/addresses.h"
#include "outputs/sonde_identity.h"
#include "outputs/sondehub_spool.h"
#include "outputs/sondehub_telemetry.h"

namespace nimbra::outputs {

// The station's live position (its GPS), asked from the outputs' threads; none while unknown.
using PositionSource = std::function<std::optional<formats::Station>()>;

struct OutputConfig {
    SondeIdentity identity;
    std::string stationName;         // MQTT topic level, chase-map "station"; default the host name
    formats::Station station;        // start of the live KML's line of sight
    bool stationGiven = false;       // the user set the station: SondeHub receives it
    bool trustedOnly = true;         // false: fixes that break the flight's continuity go out too
    std::size_t queueCapacity = 10000;  // fixes per output queue (almost 3 hours at one a second)

    std::optional<HostPort> udp;
    std::optional<MqttAddress> mqtt;
    std::string liveKmlPath;  // empty: off

    // A station that moves: its live position for the uploads (empty: the typed-in one), and
    // whether the car goes to the network as a chase car (mobile).
    PositionSource livePosition;
    bool sondehubChase = false;

    std::string sondehubCallsign;  // empty: off
    std::string sondehubUrl = kDefaultTelemetryUrl;
    std::string spoolFolder;       // empty: defaultSpoolFolder() of the program
    double sondehubIntervalS = 15.0;
    std::uint64_t spoolMaxBytes = SondeHubSpool::kDefaultMaxBytes;

    bool any() const { return udp || mqtt || !liveKmlPath.empty() || !sondehubCallsign.empty(); }
};

// The host name, made fit for a topic level ('/', '+', '#' become '_'); "nimbra" without one.
std::string defaultStationName();
// $XDG_STATE_HOME/nimbra/PROGRAM-sondehub-spool, or ~/.local/state/nimbra/PROGRAM-sondehub-spool.
std::string defaultSpoolFolder(const std::string& program);

}  // namespace nimbra::outputs
