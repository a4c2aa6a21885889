// nimbra-synth: writes a synthetic radiosonde recording (mono 16-bit 48 kHz WAVE) of a balloon
// flight near the station, and optionally the list of fixes a decoder should report.
//
// In:  command-line options (see usage()).
// Out: the WAVE file; with --expected, a CSV of the expected fixes. Exit 0 on success, 2 on a
//      bad option or an unwritable file.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "flight_options.h"
#include "option_values.h"
#include "synth/channel_rf.h"
#include "synth/synthesize.h"
#include "synth/wav_file.h"

namespace {

using namespace nimbra::synth;

const char* kUsage =
    "Usage: nimbra-synth [options] OUT.wav\n"
    "Writes a synthetic radiosonde recording: mono, 16-bit, 48000 samples/s. Every second one PTU\n"
    "block, half a second later one GPS block, each after the sync characters 0xCA 0xCA, sent as\n"
    "8N1 serial characters (a 1 bit is the low level, the idle line is low).\n"
    "\n"
    "Options:\n"
    "  --expected FILE         also write the expected fixes as CSV\n"
    "  --duration N            seconds of flight = number of GPS blocks (default 90)\n"
    "  --samples-per-bit F     bit length in samples, fractional allowed (default 4.992)\n"
    "  --amplitude A           signal level in PCM units (default 10000)\n"
    "  --ebn0 DB               add white Gaussian noise at this Eb/N0 (default: no noise)\n"
    "  --lowpass HZ            second-order low-pass at HZ (default: off)\n"
    "  --highpass HZ           first-order high-pass at HZ, a sound card's AC coupling (default:\n"
    "                          off; audio channel only)\n"
    "  --channel audio|rf      audio: two levels plus noise (default); rf: the radio path, FM\n"
    "                          at +-deviation, noise at --ebn0, 19.2 kHz IF, discriminator and\n"
    "                          an 11 kHz low-pass (--lowpass moves it); weak signals give clicks\n"
    "  --deviation HZ          FM deviation of the rf channel (default 3600)\n"
    "  --invert                invert the polarity\n"
    "  --seed N                noise seed (default 1)\n"
    "  --id HEX                transmitter identifier (default 1A2B)\n"
    "  --first-counter N       time counter of the first GPS block (default 1200)\n"
    "  --satellites N          satellite records per GPS block, 0-20 (default 8)\n"
    "  --corrupt-every N       spoil the checksum of every Nth GPS block (default 0: none)\n"
    "  --bogus-every N         give every Nth GPS block an impossible position, in turn: altitude\n"
    "                          below 0, altitude above 50 km, latitude beyond the pole, 3 degrees\n"
    "                          north of the flight (default 0: none)\n"
    "  --no-ptu                send GPS blocks only\n"
    "  --station LAT,LON,ALT   station position (default 39.75,-76.98,220)\n"
    "  --help                  show this help\n";

}  // namespace

int main(int argc, char** argv)
{
    FlightSettings flight;
    AudioChannelSettings audio;
    std::string outPath, expectedPath;
    bool radio = false;
    RfChannelSettings rf;
    FlightModelOptions model;
    int durationS = 0;

    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc)
                fail(arg + ": missing value");
            return argv[++i];
        };
        if (takeFlightOption(arg, value, model))
            continue;
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            std::fputs(kFlightUsage, stdout);
            return 0;
        } else if (arg == "--expected") {
            expectedPath = value();
        } else if (arg == "--duration") {
            flight.gpsBlocks = durationS = static_cast<int>(parseInteger(arg, value(), 1, 36000));
        } else if (arg == "--samples-per-bit") {
            flight.samplesPerBit = parseNumber(arg, value(), 2.0, 100.0);
        } else if (arg == "--amplitude") {
            audio.amplitude = parseNumber(arg, value(), 0.0, 32767.0);
        } else if (arg == "--ebn0") {
            audio.ebN0Db = parseNumber(arg, value(), -20.0, 100.0);
        } else if (arg == "--lowpass") {
            audio.lowPassHz = parseNumber(arg, value(), 1.0, 23999.0);
        } else if (arg == "--highpass") {
            audio.highPassHz = parseNumber(arg, value(), 1.0, 23999.0);
        } else if (arg == "--channel") {
            const std::string kind = value();
            if (kind != "audio" && kind != "rf")
                fail("--channel: expected audio or rf, got '" + kind + "'");
            radio = kind == "rf";
        } else if (arg == "--deviation") {
            rf.deviationHz = parseNumber(arg, value(), 100.0, 20000.0);
        } else if (arg == "--invert") {
            audio.invert = true;
        } else if (arg == "--seed") {
            audio.seed = static_cast<std::uint64_t>(parseInteger(arg, value(), 0, 0x7FFFFFFF));
        } else if (arg == "--id") {
            flight.transmitterId = static_cast<std::uint16_t>(parseInteger(arg, value(), 0, 0xFFFF, 16));
        } else if (arg == "--first-counter") {
            flight.firstCounter = static_cast<std::uint16_t>(parseInteger(arg, value(), 0, 0xFFFF));
        } else if (arg == "--satellites") {
            flight.numSatellites = static_cast<int>(parseInteger(arg, value(), 0, 20));
        } else if (arg == "--corrupt-every") {
            flight.corruptEvery = static_cast<int>(parseInteger(arg, value(), 0, 1000000));
        } else if (arg == "--bogus-every") {
            flight.bogusEvery = static_cast<int>(parseInteger(arg, value(), 0, 1000000));
        } else if (arg == "--no-ptu") {
            flight.sendPtu = false;
        } else if (arg == "--station") {
            const Position p = parsePosition(arg, value(), -1e9, 1e9);
            flight.stationLat = p.latitude;
            flight.stationLon = p.longitude;
            flight.stationAlt = p.altitude;
        } else if (!arg.empty() && arg[0] == '-') {
            fail("unknown option '" + arg + "' (see --help)");
        } else if (outPath.empty()) {
            outPath = arg;
        } else {
            fail("more than one output file given");
        }
    }
    if (outPath.empty())
        fail("no output file given (see --help)");
    Trajectory trajectory;
    planFlight(model, flight, durationS, trajectory);

    const Recording rec = [&] {
        if (!radio)
            return synthesizeFlight(flight, audio);
        rf.ebN0Db = audio.ebN0Db;
        rf.amplitude = audio.amplitude;
        rf.invert = audio.invert;
        rf.seed = audio.seed;
        if (audio.lowPassHz > 0.0)
            rf.audioLowPassHz = audio.lowPassHz;
        RfChannel channel(rf);
        return synthesizeFlight(flight, channel);
    }();
    std::string error;
    if (!writeWaveMono16(outPath, rec.samples, 48000, error))
        fail(error);
    if (!expectedPath.empty() && !writeExpectedCsv(expectedPath, rec.flight.fixes, error))
        fail(error);
    if (!model.landingPath.empty() && !writeLandingCsv(model.landingPath, trajectory, flight, error))
        fail(error);
    if (rec.clippedSamples > 0)
        std::fprintf(stderr, "nimbra-synth: warning: %zu samples clipped\n", rec.clippedSamples);
    return 0;
}
