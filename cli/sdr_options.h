// nimbra-decode's options for a radio it drives itself: the device (--sdr), its tuning, rate,
// gain, frequency correction and bias tee, and the band to cover (--band).
//
// In:  one option name and a way to take its value.
// Out: the value checked and stored, or a one-line message naming the problem; after all
//      options, checkSdrOptions() tests them against one another and the input.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "sdr/device_address.h"
#include "sdr/sdr_device.h"

namespace nimbra::cli {

struct SdrOptions {
    std::optional<sdr::DeviceAddress> device;  // --sdr
    std::string deviceText;
    std::optional<double> gainDb;           // --gain DB; none: auto
    int ppm = 0;
    bool biasTee = false;
    double bandLowHz = 1676e6, bandHighHz = 1682e6;
    bool bandGiven = false;
};

enum class SdrOptionOutcome { NotAnSdrOption, Taken, Failed };

SdrOptionOutcome parseSdrOption(const std::string& name, const std::function<bool(std::string&)>& takeValue,
                                SdrOptions& options, std::string& error);

}  // namespace nimbra::cli
