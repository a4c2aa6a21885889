// nimbra-decode's options of the network outputs: chase-map UDP, SondeHub, MQTT, live KML, the
// sonde's network names, the station name and the wait for delivery at the end of the input.
//
// In:  one option name and a way to take its value.
// Out: the value checked and stored in the OutputConfig, or a one-line message naming the
//      problem. After all options, checkOutputOptions() tests what needs another option.
#pragma once

#include <functional>
#include <string>

#include "outputs/output_config.h"

namespace nimbra::cli {

struct OutputOptions {
    outputs::OutputConfig config;
    double uploadWaitS = 60.0;
    // Options of the SondeHub upload given, for the check that --sondehub is there too.
    std::string sondehubDetail;
};

enum class OptionOutcome { NotAnOutputOption, Taken, Failed };

// `takeValue` stores the option's value and returns false when there is none.
OptionOutcome parseOutputOption(const std::string& name, const std::function<bool(std::string&)>& takeValue,
                                OutputOptions& options, std::string& error);

// False with `error` when an option needs another that is missing.
bool checkOutputOptions(const OutputOptions& options, std::string& error);

}  // namespace nimbra::cli
