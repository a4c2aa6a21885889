// Command-line options of nimbra-decode: parsing and validation.
//
// In:  the argument vector.
// Out: CliOptions with every value checked, or a one-line error message naming the problem.
//      Parsing never exits or prints; main decides what to do with the outcome.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/chase_options.h"
#include "cli/output_options.h"
#include "cli/sdr_options.h"
#include "iq/iq_format.h"

namespace nimbra::cli {

enum class OutputFormat { Text, Csv, Jsonl };

// The live web page (--http).
struct WebOptions {
    bool on = false;
    std::string address = "127.0.0.1";
    int port = 0;
    std::string tilesDir;  // --tiles: a local z/x/y folder
    std::string tileUrl;   // --tile-url: a tile URL template
};

struct CliOptions {
    std::string input;  // file name, or "-" for standard input
    bool help = false;

    // Decoder parameters; unset values keep the decoder's first-run values, except the
    // demodulator: sync unless --demod says otherwise (DecodeSession).
    std::optional<int> demodType;
    bool invert = false;
    bool filter = false;
    std::optional<float> threshold;       // switches the automatic threshold off
    std::optional<float> samplesPerBit;
    bool rejectBogus = false;
    bool badCrc = false;
    std::optional<float> maxRangeKm;
    std::optional<float> stationLat, stationLon, stationAlt;
    bool psu = false;
    bool calibration = false;

    // Input.
    bool raw = false;                 // raw signed 16-bit little-endian, header not parsed
    std::optional<double> rate;       // raw input sample rate (default 48000)
    std::optional<int> channels;      // raw input channel count (default 1)
    int channel = 1;                  // 1-based channel to decode
    // SDR input: complex baseband in one of the IQ formats (--iq), at --rate (raw formats).
    std::optional<iq::IqFormat> iqFormat;
    std::optional<double> tunedHz;  // --freq: the frequency the radio is tuned to
    int maxSondes = 8;              // channels the receiver decodes at once
    // A radio driven by nimbra-decode itself (--sdr and its settings); the input is then the
    // radio, not a file.
    SdrOptions sdr;

    // Flight tracking: the continuity check and the landing prediction's settings; unset values
    // keep the tracker's defaults (the ground altitude defaults to the station's).
    bool trust = true;
    std::optional<double> burstAltitudeM;
    std::optional<double> groundAltitudeM;
    std::optional<double> ascentRateMps;
    std::optional<double> descentRateMps;

    // Output.
    OutputFormat format = OutputFormat::Text;
    std::string gpxPath;
    std::string kmlPath;
    std::optional<std::int64_t> startTimeMs;  // ms since 1970-01-01 UTC of the first sample
    bool quiet = false;

    // Network outputs (all off unless named).
    OutputOptions outputs;
    WebOptions web;
    // A station that moves (gpsd) or points (a rotator).
    ChaseOptions chase;
};

struct ParseOutcome {
    CliOptions options;
    std::string error;  // empty when the options are valid
};

ParseOutcome parseOptions(const std::vector<std::string>& args);

}  // namespace nimbra::cli
