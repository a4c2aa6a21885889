// nimbra-synth's realistic flight: its options, and the flight they describe.
//
// In:  the options after --flight (see kFlightUsage) and the station of FlightSettings.
// Out: FlightSettings::plan filled from the trajectory and the staged faults; optionally the
//      true burst and landing as CSV (--landing FILE).
#pragma once

#include <functional>
#include <string>

#include "synth/flight.h"
#include "synth/flight_plan.h"
#include "synth/trajectory.h"

namespace nimbra::synth {

extern const char* const kFlightUsage;

struct FlightModelOptions {
    bool enabled = false;
    TrajectorySettings trajectory;
    bool launchGiven = false;
    bool groundGiven = false;
    std::uint64_t windSeed = 1;
    double windDriftMps = 0.0;
    std::string windCsv;
    FlightFaults faults;
    std::string landingPath;
};

// Takes `arg` (and its value through `value`) when it is one of the flight's options; false when
// it is not. A bad value ends the program with status 2 (option_values.h).
bool takeFlightOption(const std::string& arg, const std::function<const char*()>& value, FlightModelOptions& model);

// Checks the options against one another, flies the flight and fills flight.plan. `durationS`
// (0: to the end) cuts the recording short, as a reception that ends before the landing.
void planFlight(FlightModelOptions& model, FlightSettings& flight, int durationS, Trajectory& trajectory);

// "event,time_s,counter,lat_deg,lon_deg,alt_m": the burst and the landing. time_s is the time in
// the recording at which a block describing that instant would begin, counter the sonde's time
// counter at that instant (fractional).
bool writeLandingCsv(const std::string& path, const Trajectory& trajectory, const FlightSettings& flight,
                     std::string& error);

}  // namespace nimbra::synth
