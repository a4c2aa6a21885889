// nimbra-synth: writes a synthetic radiosonde recording of a balloon flight near the station:
// receiver audio (mono 16-bit 48 kHz WAVE) or what an SDR records (complex baseband, raw or
// WAVE), and optionally the list of fixes a decoder should report.
//
// In:  command-line options (see usage()).
// Out: the recording (IQ also to standard output, "-"); with --expected, a CSV of the expected
//      fixes. Exit 0 on success, 2 on a bad option or an unwritable file.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "band_options.h"
#include "flight_options.h"
#include "option_values.h"
#include "synth/band.h"
#include "synth/channel_iq.h"
#include "synth/dongle.h"
#include "synth/channel_rf.h"
#include "synth/iq_writer.h"
#include "synth/synthesize.h"
#include "synth/wav_file.h"

namespace {

using namespace nimbra::synth;

const char* kUsage =
    "Usage: nimbra-synth [options] OUT\n"
    "Writes a synthetic radiosonde recording: receiver audio (mono, 16-bit, 48000 samples/s,\n"
    "WAVE) or, with --channel iq, the complex baseband an SDR records. Every second one PTU\n"
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
    "  --channel audio|rf|iq   audio: two levels plus noise (default); rf: the radio path, FM\n"
    "                          at +-deviation, noise at --ebn0, an IF filter (--if-bandwidth),\n"
    "                          discriminator and an 11 kHz low-pass (--lowpass moves it); weak\n"
    "                          signals give clicks; iq: the FM signal and its noise as an SDR\n"
    "                          records them (OUT may be - for standard output)\n"
    "  --deviation HZ          FM deviation of the rf and iq channels (default 3600)\n"
    "  --if-bandwidth HZ       rf: IF filter bandwidth, two-sided (default 19200)\n"
    "  --iq-format F           iq: cu8, cs8, cs16, cf32 (raw interleaved I, Q), wav (two-channel\n"
    "                          16-bit WAVE) or wav-float (two-channel float WAVE); default cu8\n"
    "  --rate R                iq: samples/s, 48000 to 10000000 (default 2400000)\n"
    "  --offset HZ             iq: carrier frequency against the tuning (default 0)\n"
    "  --drift HZ_PER_S        iq: the carrier moves this fast (default 0)\n"
    "  --no-carrier            rf and iq: noise alone, at the level --ebn0 sets (for tests that\n"
    "                          must decode nothing)\n"
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

// The length of the flight's line: the band runs as long as the single sonde's recording would.
double bandDurationS(const FlightSettings& flight)
{
    const Flight f = makeFlight(flight);
    return double(f.line.size()) * flight.samplesPerBit / 48000.0;
}

// Renders the band and writes it piece by piece: a long flight at 2.4 MS/s would not fit in
// memory whole.
void writeIq(const BandSettings& settings, const DongleSettings& dongleSettings, IqFileFormat format,
             const std::string& path)
{
    Band band(settings);
    const Dongle dongle(dongleSettings, band.meanPower());
    std::string error;
    IqWriter writer;
    if (!writer.open(path, format, static_cast<int>(settings.sampleRate), band.totalSamples(), 1.0, error))
        fail(error);
    const std::size_t piece = static_cast<std::size_t>(settings.sampleRate / 4.0);  // a quarter second
    while (band.rendered() < band.totalSamples()) {
        std::vector<std::complex<float>> z = band.render(piece);
        dongle.apply(z);
        if (!writer.write(z, error))
            fail(error);
    }
    if (!writer.close(error))
        fail(error);
    if (writer.clipped() > 0)
        std::fprintf(stderr, "nimbra-synth: warning: %zu values clipped\n", writer.clipped());
}

int main(int argc, char** argv)
{
    FlightSettings flight;
    AudioChannelSettings audio;
    std::string outPath, expectedPath;
    bool radio = false;
    bool iq = false;
    RfChannelSettings rf;
    IqChannelSettings iqSettings;
    iqSettings.sampleRate = 2400000.0;
    IqFileFormat iqFormat = IqFileFormat::Cu8;
    bool iqOnly = false;  // an option only the iq channel takes was given
    FlightModelOptions model;
    BandOptions bandOptions;
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
        if (takeBandOption(arg, value, bandOptions)) {
            iqOnly = true;
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            std::fputs(kBandUsage, stdout);
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
            if (kind != "audio" && kind != "rf" && kind != "iq")
                fail("--channel: expected audio, rf or iq, got '" + kind + "'");
            radio = kind == "rf";
            iq = kind == "iq";
        } else if (arg == "--deviation") {
            rf.deviationHz = parseNumber(arg, value(), 100.0, 150000.0);
            iqSettings.deviationHz = rf.deviationHz;
        } else if (arg == "--if-bandwidth") {
            rf.ifBandwidthHz = parseNumber(arg, value(), 1000.0, 1000000.0);
        } else if (arg == "--iq-format") {
            const std::string name = value();
            const auto f = parseIqFileFormat(name);
            if (!f)
                fail("--iq-format: expected cu8, cs8, cs16, cf32, wav or wav-float, got '" + name + "'");
            iqFormat = *f;
            iqOnly = true;
        } else if (arg == "--rate") {
            iqSettings.sampleRate = parseNumber(arg, value(), 48000.0, 10000000.0);
            iqOnly = true;
        } else if (arg == "--offset") {
            iqSettings.offsetHz = parseNumber(arg, value(), -5000000.0, 5000000.0);
            iqOnly = true;
        } else if (arg == "--no-carrier") {
            rf.carrier = false;
            iqSettings.carrier = false;
        } else if (arg == "--drift") {
            iqSettings.driftHzPerS = parseNumber(arg, value(), -100000.0, 100000.0);
            iqOnly = true;
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
        } else if (arg.size() > 1 && arg[0] == '-') {
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
    if ((!rf.carrier) && !audio.ebN0Db)
        fail("--no-carrier needs --ebn0 to set the noise level");
    if (!rf.carrier && !radio && !iq)
        fail("--no-carrier: the audio channel has no carrier (use --channel rf or iq)");
    if (iqOnly && !iq)
        fail("--iq-format, --rate, --offset, --drift and the band's options describe the iq channel (add --channel "
             "iq)");
    if (iq) {
        if (std::fabs(iqSettings.offsetHz) >= iqSettings.sampleRate / 2.0)
            fail("--offset: the carrier must lie within the band, below half the rate (" +
                 std::to_string(iqSettings.sampleRate / 2.0) + " Hz)");
        BandSonde base;
        base.flight = flight;
        base.offsetHz = iqSettings.offsetHz;
        base.deviationHz = iqSettings.deviationHz;
        base.driftHzPerS = iqSettings.driftHzPerS;
        BandSettings bandSettings = makeBand(bandOptions, base, iqSettings.sampleRate,
                                             bandDurationS(flight));
        bandSettings.ebN0Db = audio.ebN0Db;
        bandSettings.samplesPerBit = flight.samplesPerBit;
        bandSettings.seed = audio.seed;
        if (!iqSettings.carrier)
            bandSettings.sondes.clear();
        writeIq(bandSettings, bandOptions.dongle, iqFormat, outPath);
        const Band expectedBand(bandSettings);
        const std::vector<ExpectedFix>& expected = expectedBand.expected();
        std::string error;
        if (!expectedPath.empty() && !writeExpectedCsv(expectedPath, expected, error))
            fail(error);
        if (!model.landingPath.empty() && !writeLandingCsv(model.landingPath, trajectory, flight, error))
            fail(error);
        return 0;
    }
    if (outPath == "-")
        fail("audio is written to a file; standard output takes the iq channel only");

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
