// nimbra-decode's options of a station that moves or points: its position from gpsd
// (--station gpsd[:HOST[:PORT]]), the chase car on the SondeHub network (--sondehub-chase) and a
// rotator through rotctld (--rotator and its settings).
//
// In:  one option name and a way to take its value.
// Out: the value checked and stored, or a one-line message naming the problem.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "station/gpsd_client.h"
#include "station/rotctld_client.h"
#include "station/rotator_policy.h"

namespace nimbra::cli {

struct ChaseOptions {
    std::optional<station::GpsdAddress> gpsd;
    bool sondehubChase = false;
    std::optional<station::RotctldAddress> rotator;
    station::RotatorSettings rotatorSettings;
    std::optional<unsigned> rotatorSonde;  // --rotator-sonde ID: follow this sonde only
    bool rotatorDetail = false;  // a --rotator-* option was given
};

enum class ChaseOptionOutcome { NotAChaseOption, Taken, Failed };

// `--station` is taken here only when its value starts with "gpsd".
ChaseOptionOutcome parseChaseOption(const std::string& name, const std::string* peekValue,
                                    const std::function<bool(std::string&)>& takeValue, ChaseOptions& options,
                                    std::string& error);

}  // namespace nimbra::cli
