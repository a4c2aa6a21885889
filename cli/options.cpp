#include "cli/options.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "demod/demod_type.h"
#include "formats/frequency_text.h"
#include "formats/iso_time.h"

namespace nimbra::cli {

namespace {

// Reads a whole string as a finite number; false on anything else.
bool toNumber(const std::string& text, double& value)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtod(text.c_str(), &end);
    return end && *end == '\0' && errno == 0 && std::isfinite(value);
}

bool toInteger(const std::string& text, long& value)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text.c_str(), &end, 10);
    return end && *end == '\0' && errno == 0;
}

std::string describeRange(double lo, double hi)
{
    char buf[96];
    std::snprintf(buf, sizeof buf, "a number from %g to %g", lo, hi);
    return buf;
}

// The options that make sense with IQ input (a radio's or a recording's), and its rate.
ParseOutcome& checkIq(ParseOutcome& out)
{
    const CliOptions& o = out.options;
    const bool radio = o.sdr.device.has_value();
    std::vector<std::string> foreign;
    if (o.raw)
        foreign.push_back("--raw");
    if (o.channels || o.channel != 1)
        foreign.push_back("--channel(s)");
    if (o.demodType && *o.demodType != kSyncDemod)
        foreign.push_back("--demod");
    if (o.invert)
        foreign.push_back("--invert");
    if (o.filter)
        foreign.push_back("--filter");
    if (o.threshold)
        foreign.push_back("--threshold");
    if (o.samplesPerBit)
        foreign.push_back("--samples-per-bit");
    if (!foreign.empty()) {
        std::string list;
        for (const std::string& f : foreign)
            list += (list.empty() ? "" : ", ") + f;
        out.error = list + (radio ? ": not for --sdr" : ": not for --iq input") +
                    " (the IQ receiver finds the signal, its polarity and its bit clock itself)";
        return out;
    }
    if (radio) {
        if (o.rate && (*o.rate < iq::kMinIqRate || *o.rate > iq::kMaxIqRate)) {
            char buf[160];
            std::snprintf(buf, sizeof buf, "--rate: the radio's rate must be 48000 to 10000000 samples/s, got %.0f",
                          *o.rate);
            out.error = buf;
        } else if (o.tunedHz && o.sdr.bandGiven) {
            out.error = "--freq and --band: give one (--freq tunes the radio there and stays, --band lets it cover "
                        "the band)";
        }
        return out;
    }
    const bool wave = *o.iqFormat == iq::IqFormat::Wave;
    if (!wave && !o.rate) {
        out.error = std::string("--iq ") + iq::iqFormatName(*o.iqFormat) +
                    " needs --rate: the sample rate of the recording or stream, 48000 to 10000000";
        return out;
    }
    // A WAVE file's rate is checked against its header when it is opened.
    if (o.rate && (*o.rate < iq::kMinIqRate || *o.rate > iq::kMaxIqRate)) {
        char buf[160];
        std::snprintf(buf, sizeof buf, "--rate: IQ input must be 48000 to 10000000 samples/s, got %.0f", *o.rate);
        out.error = buf;
    }
    return out;
}

}  // namespace

ParseOutcome parseOptions(const std::vector<std::string>& args)
{
    ParseOutcome out;
    CliOptions& o = out.options;
    bool haveInput = false;
    bool onlyFiles = false;  // after "--"

    auto fail = [&](const std::string& message) {
        out.error = message;
        return out;
    };

    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        if (onlyFiles || arg == "-" || arg.empty() || arg[0] != '-') {
            if (haveInput)
                return fail("more than one input given ('" + o.input + "' and '" + arg + "'); decode one at a time");
            o.input = arg;
            haveInput = true;
            continue;
        }
        if (arg == "--") {
            onlyFiles = true;
            continue;
        }
        // "--name=value" or "--name value".
        std::string inlineValue;
        bool hasInline = false;
        const std::size_t eq = arg.find('=');
        if (arg.compare(0, 2, "--") == 0 && eq != std::string::npos) {
            inlineValue = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
            hasInline = true;
        }
        std::string value;
        auto takeValue = [&]() -> bool {
            if (hasInline) {
                value = inlineValue;
                return true;
            }
            if (i + 1 >= args.size())
                return false;
            value = args[++i];
            return true;
        };
        auto needsValue = [&](const char* what) {
            return fail(arg + " needs a value: " + what);
        };
        auto isFlag = [&]() { return !hasInline; };
        auto badNumber = [&](double lo, double hi) {
            return fail(arg + ": expected " + describeRange(lo, hi) + ", got '" + value + "'");
        };
        double number = 0.0;
        long integer = 0;

        if (arg == "--help" || arg == "-h") {
            o.help = true;
        } else if (arg == "--demod") {
            if (!takeValue())
                return needsValue("edge, level, pattern or sync");
            if (value == "edge")
                o.demodType = kEdgeDemod;
            else if (value == "level")
                o.demodType = kLevelDemod;
            else if (value == "pattern")
                o.demodType = kPatternDemod;
            else if (value == "sync")
                o.demodType = kSyncDemod;
            else
                return fail("--demod: expected edge, level, pattern or sync, got '" + value + "'");
        } else if (arg == "--invert" && isFlag()) {
            o.invert = true;
        } else if (arg == "--filter" && isFlag()) {
            o.filter = true;
        } else if (arg == "--threshold") {
            if (!takeValue())
                return needsValue("the slicing threshold in sample units");
            if (!toNumber(value, number) || number < 0.0 || number > 1e6)
                return badNumber(0.0, 1e6);
            o.threshold = static_cast<float>(number);
        } else if (arg == "--samples-per-bit") {
            if (!takeValue())
                return needsValue("the bit length in samples");
            if (!toNumber(value, number) || number < 4.0 || number > 6.0)
                return badNumber(4.0, 6.0);
            o.samplesPerBit = static_cast<float>(number);
        } else if (arg == "--reject-bogus" && isFlag()) {
            o.rejectBogus = true;
        } else if (arg == "--bad-crc" && isFlag()) {
            o.badCrc = true;
        } else if (arg == "--max-range") {
            if (!takeValue())
                return needsValue("the range limit in km");
            if (!toNumber(value, number) || number <= 0.0 || number > 40000.0)
                return badNumber(0.0, 40000.0);
            o.maxRangeKm = static_cast<float>(number);
        } else if ((arg == "--sondehub-chase" || arg == "--rotator-azimuth-only") && hasInline) {
            return fail("option " + arg + " takes no value");
        } else if (const ChaseOptionOutcome outcome = parseChaseOption(
                       arg, hasInline ? &inlineValue : (i + 1 < args.size() ? &args[i + 1] : nullptr),
                       [&](std::string& v) { return takeValue() && (v = value, true); }, o.chase, out.error);
                   outcome != ChaseOptionOutcome::NotAChaseOption) {
            if (outcome == ChaseOptionOutcome::Failed)
                return out;
        } else if (arg == "--station") {
            if (!takeValue())
                return needsValue("LAT,LON,ALT");
            double v[3];
            std::size_t start = 0;
            int n = 0;
            bool ok = true;
            for (; n < 3 && ok; ++n) {
                const std::size_t comma = value.find(',', start);
                const bool last = n == 2;
                if (last != (comma == std::string::npos)) {
                    ok = false;
                    break;
                }
                ok = toNumber(value.substr(start, last ? std::string::npos : comma - start), v[n]);
                start = comma + 1;
            }
            if (!ok || v[0] < -90.0 || v[0] > 90.0 || v[1] < -180.0 || v[1] > 180.0 ||
                v[2] < -1000.0 || v[2] > 100000.0)
                return fail("--station: expected LAT,LON,ALT (degrees north, degrees east, metres), "
                            "for example 39.75,-76.98,220; got '" + value + "'");
            o.stationLat = static_cast<float>(v[0]);
            o.stationLon = static_cast<float>(v[1]);
            o.stationAlt = static_cast<float>(v[2]);
        } else if (arg == "--psu" && isFlag()) {
            o.psu = true;
        } else if (arg == "--calibration" && isFlag()) {
            o.calibration = true;
        } else if (arg == "--iq") {
            if (!takeValue())
                return needsValue("cu8, cs8, cs16, cf32 or wav");
            o.iqFormat = iq::parseIqFormat(value);
            if (!o.iqFormat)
                return fail("--iq: expected cu8, cs8, cs16, cf32 or wav, got '" + value + "'");
        } else if (arg == "--freq") {
            if (!takeValue())
                return needsValue("the frequency the radio is tuned to, in Hz (1680M, 1680.5e6)");
            const auto hz = formats::parseFrequencyHz(value);
            if (!hz || *hz < 1e6 || *hz > 1e11)
                return fail("--freq: expected the tuned frequency in Hz from 1M to 100G (1680M, 1680000000), got '" +
                            value + "'");
            o.tunedHz = *hz;
        } else if (arg == "--max-sondes") {
            if (!takeValue())
                return needsValue("the number of sondes decoded at once");
            if (!toInteger(value, integer) || integer < 1 || integer > 32)
                return fail("--max-sondes: expected a whole number from 1 to 32, got '" + value + "'");
            o.maxSondes = static_cast<int>(integer);
        } else if (arg == "--http") {
            if (!takeValue())
                return needsValue("[ADDRESS:]PORT, for example 8080 or 0.0.0.0:8080");
            const auto colon = value.rfind(':');
            const std::string portText = colon == std::string::npos ? value : value.substr(colon + 1);
            if (!toInteger(portText, integer) || integer < 1 || integer > 65535)
                return fail("--http: expected [ADDRESS:]PORT with a port from 1 to 65535, got '" + value + "'");
            o.web.on = true;
            o.web.port = static_cast<int>(integer);
            if (colon != std::string::npos) {
                o.web.address = value.substr(0, colon);
                if (o.web.address.size() > 2 && o.web.address.front() == '[' && o.web.address.back() == ']')
                    o.web.address = o.web.address.substr(1, o.web.address.size() - 2);
                if (o.web.address.empty())
                    return fail("--http: the address before the port is empty in '" + value + "'");
            }
        } else if (arg == "--tiles") {
            if (!takeValue() || value.empty())
                return needsValue("a folder of map tiles in the z/x/y.png layout");
            o.web.tilesDir = value;
        } else if (arg == "--tile-url") {
            if (!takeValue())
                return needsValue("a tile URL template with {z}, {x} and {y}");
            if (value.find("{z}") == std::string::npos || value.find("{x}") == std::string::npos ||
                value.find("{y}") == std::string::npos ||
                (value.compare(0, 8, "https://") != 0 && value.compare(0, 7, "http://") != 0))
                return fail("--tile-url: expected an http(s) URL template with {z}, {x} and {y}, got '" + value + "'");
            o.web.tileUrl = value;
        } else if (arg == "--bias-tee" && hasInline) {
            return fail("option --bias-tee takes no value");
        } else if (const SdrOptionOutcome outcome = parseSdrOption(
                       arg, [&](std::string& v) { return takeValue() && (v = value, true); }, o.sdr, out.error);
                   outcome != SdrOptionOutcome::NotAnSdrOption) {
            if (outcome == SdrOptionOutcome::Failed)
                return out;
        } else if (arg == "--raw" && isFlag()) {
            o.raw = true;
        } else if (arg == "--rate") {
            if (!takeValue())
                return needsValue("the input sample rate in samples/s");
            if (!toNumber(value, number) || number < 1000.0 || number > 10e6)
                return fail("--rate: expected a sample rate from 1000 to 10000000 samples/s, got '" + value + "'");
            o.rate = number;
        } else if (arg == "--channels") {
            if (!takeValue())
                return needsValue("the number of interleaved channels");
            if (!toInteger(value, integer) || integer < 1 || integer > 256)
                return fail("--channels: expected a channel count from 1 to 256, got '" + value + "'");
            o.channels = static_cast<int>(integer);
        } else if (arg == "--channel") {
            if (!takeValue())
                return needsValue("the channel to decode, 1 for the first");
            if (!toInteger(value, integer) || integer < 1 || integer > 256)
                return fail("--channel: expected a channel number from 1 (the first) to 256, got '" + value + "'");
            o.channel = static_cast<int>(integer);
        } else if (arg == "--format") {
            if (!takeValue())
                return needsValue("text, csv or jsonl");
            if (value == "text")
                o.format = OutputFormat::Text;
            else if (value == "csv")
                o.format = OutputFormat::Csv;
            else if (value == "jsonl")
                o.format = OutputFormat::Jsonl;
            else
                return fail("--format: expected text, csv or jsonl, got '" + value + "'");
        } else if (arg == "--gpx" || arg == "--kml") {
            if (!takeValue() || value.empty())
                return needsValue("the output file name");
            (arg == "--gpx" ? o.gpxPath : o.kmlPath) = value;
        } else if (arg == "--start-time") {
            if (!takeValue())
                return needsValue("the time of the first sample, ISO 8601");
            const auto t = formats::parseIsoTime(value);
            if (!t)
                return fail("--start-time: expected an ISO 8601 time such as 2026-12-07T06:17:45Z, got '" + value + "'");
            o.startTimeMs = *t;
        } else if (arg == "--trust") {
            if (!takeValue())
                return needsValue("on or off");
            if (value != "on" && value != "off")
                return fail("--trust: expected on or off, got '" + value + "'");
            o.trust = value == "on";
        } else if (arg == "--burst-altitude" || arg == "--ground-altitude") {
            if (!takeValue())
                return needsValue("an altitude in metres");
            if (!toNumber(value, number) || number < -1000.0 || number > 60000.0)
                return badNumber(-1000.0, 60000.0);
            (arg == "--burst-altitude" ? o.burstAltitudeM : o.groundAltitudeM) = number;
        } else if (arg == "--ascent-rate" || arg == "--descent-rate") {
            if (!takeValue())
                return needsValue("a rate in m/s");
            if (!toNumber(value, number) || number < 0.5 || number > 50.0)
                return badNumber(0.5, 50.0);
            (arg == "--ascent-rate" ? o.ascentRateMps : o.descentRateMps) = number;
        } else if ((arg == "--quiet" || arg == "-q") && isFlag()) {
            o.quiet = true;
        } else if (const OptionOutcome outcome = parseOutputOption(
                       arg, [&](std::string& v) { return takeValue() && (v = value, true); }, o.outputs, out.error);
                   outcome != OptionOutcome::NotAnOutputOption) {
            if (outcome == OptionOutcome::Failed)
                return out;
        } else if (hasInline) {
            return fail("option " + arg + " takes no value");
        } else {
            return fail("unknown option '" + arg + "' (see --help)");
        }
    }
    if (o.help)
        return out;
    if (o.sdr.device) {
        if (haveInput)
            return fail("--sdr reads the radio: no input file with it (got '" + o.input + "')");
        if (o.iqFormat)
            return fail("--sdr and --iq: the radio's samples need no --iq format");
    } else if (o.sdr.gainDb || o.sdr.ppm != 0 || o.sdr.biasTee || o.sdr.bandGiven) {
        return fail("--gain, --ppm, --bias-tee and --band set up a radio: add --sdr (see --help)");
    }
    if (!haveInput && !o.sdr.device)
        return fail("no input given: name a recording, - for standard input, or a radio with --sdr (see --help)");
    if (o.chase.sondehubChase && (o.outputs.config.sondehubCallsign.empty() || !o.chase.gpsd))
        return fail("--sondehub-chase uploads the chase car's position: it needs --sondehub and --station gpsd");
    if (o.chase.rotatorDetail && !o.chase.rotator)
        return fail("--rotator-threshold, --rotator-interval, --rotator-azimuth-only, --rotator-home and --rotator-sonde set up a "
                    "rotator: add --rotator HOST[:PORT]");
    if ((!o.web.tilesDir.empty() || !o.web.tileUrl.empty()) && !o.web.on)
        return fail("--tiles and --tile-url are for the web page: add --http PORT");
    if (!o.web.tilesDir.empty() && !o.web.tileUrl.empty())
        return fail("--tiles and --tile-url: give one (local tiles or a tile server)");
    if (!o.gpxPath.empty() && o.gpxPath == o.kmlPath)
        return fail("--gpx and --kml name the same file '" + o.gpxPath + "'");
    const std::string& live = o.outputs.config.liveKmlPath;
    if (!live.empty() && (live == o.gpxPath || live == o.kmlPath))
        return fail("--live-kml and --" + std::string(live == o.gpxPath ? "gpx" : "kml") + " name the same file '" +
                    live + "'");
    if (std::string error; !checkOutputOptions(o.outputs, error))
        return fail(error);
    if (o.iqFormat || o.sdr.device)
        return checkIq(out);
    const bool rawInput = o.raw || o.input == "-";
    if (!rawInput && (o.rate || o.channels))
        return fail("--rate and --channels describe raw input (standard input or --raw); a recording's "
                    "header gives them");
    if (rawInput && o.channel > o.channels.value_or(1))
        return fail("--channel " + std::to_string(o.channel) + " does not exist: the raw input has " +
                    std::to_string(o.channels.value_or(1)) + " channel(s) (set --channels)");
    return out;
}

}  // namespace nimbra::cli
