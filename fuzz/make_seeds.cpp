// make_fuzz_seeds: writes the seed corpora of fuzz_packet_framer, fuzz_signal_chain and fuzz_settings
// into CORPUS/<target>/ (CORPUS is fuzz/corpus when run from the repository's root).
//
// In:  the folder to write to.
// Out: whole telemetry blocks (GPS and PTU blocks with correct and broken checksums, length
//      fields at and beyond their limits) made by the synthesizer's block builder, short
//      recordings of them as 8N1 audio at 5 and 4.992 samples per bit, each behind the 45-byte
//      decoder header that the targets read first (fuzz/decoder_setup.h); and settings in both
//      of fuzz_settings' layouts. Deterministic: running it twice gives the same files.
//
//   build/bin/make_fuzz_seeds fuzz/corpus
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "block/block_format.h"
#include "synth/modulator.h"
#include "synth/serial_line.h"
#include "synth/telemetry_blocks.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace nimbra;

// Decoder header flags (fuzz/decoder_setup.h).
enum : std::uint8_t {
    kInvert = 1, kFilter = 2, kAuto = 4, kReject = 8, kBadCrc = 16, kPsu = 32, kCal = 64,
    kRecord = 128,
};

std::string corpus;

void append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }

Bytes operator+(Bytes a, const Bytes& b)
{
    append(a, b);
    return a;
}

template <class T>
Bytes littleEndian(T value)
{
    Bytes out(sizeof value);
    std::memcpy(out.data(), &value, sizeof value);  // the machines this runs on are little-endian
    return out;
}

// A real of the header in mode 0: the raw bit pattern of the float, so the seed holds it exactly.
Bytes rawReal(float value) { return Bytes{0} + littleEndian(value); }

struct Header {
    std::uint8_t flags = 0;
    std::uint8_t demod = 0;
    float samplesPerBit = 4.992f;
    float threshold = 0.0f;
    float maxRange = 250.0f;
    float lat = 39.75f;
    float lon = -76.98f;
    float alt = 220.0f;
    std::uint64_t clockS = 1796545065;
};

Bytes header(const Header& h)
{
    Bytes out{h.flags, h.demod};
    append(out, littleEndian(std::uint32_t{0}));
    for (float v : {h.samplesPerBit, h.threshold, h.maxRange, h.lat, h.lon, h.alt})
        append(out, rawReal(v));
    out.push_back(1);  // a clock in 2023 to 2026, seconds from the low bits
    append(out, littleEndian(std::uint64_t{h.clockS - 1672531200u}));
    return out;
}

Header flags(std::uint8_t f)
{
    Header h;
    h.flags = f;
    return h;
}

std::int32_t raw(double degrees)
{
    return static_cast<std::int32_t>(std::llround(degrees * 2147483648.0 / 180.0));
}

struct Gps {
    std::uint16_t id;
    std::uint16_t counter;
    double lat, lon, altM;
    int satellites = 6;
    int lengthField = -1;
    bool good = true;
    char variant = '1';
};

Bytes gpsBlock(const Gps& g)
{
    synth::GpsBlockFields f;
    f.transmitterId = g.id;
    f.timeCounter = g.counter;
    f.latitudeRaw = raw(g.lat);
    f.longitudeRaw = raw(g.lon);
    f.altitudeMm = static_cast<std::int32_t>(std::llround(g.altM * 1000.0));
    f.numSatellites = g.satellites;
    f.lengthField = g.lengthField;
    f.variant = g.variant;
    Bytes b = synth::buildGpsBlock(f);
    if (!g.good)
        b[20] ^= 0x10;
    return b;
}

Bytes ptuBlock(int length = 56, int seed = 0, bool good = true)
{
    synth::PtuBlockFields f;
    f.length = static_cast<std::uint8_t>(length);
    for (int k = 0; k < block::kPtuChannels; ++k) {
        f.channels[k].selector = static_cast<std::uint8_t>((2 * (k % 16)) & 0x1E);
        f.channels[k].count = static_cast<std::uint16_t>(((7 * k + seed) * 13 * 257) & 0xFFFF);
    }
    for (int i = 0; i < block::kPtuCalibrationBytes; ++i)
        f.calibration[i] = static_cast<std::uint8_t>(((7 * i + seed) * 13) & 0xFF);
    Bytes b = synth::buildPtuBlock(f);
    if (!good)
        synth::corruptChecksum(b);
    return b;
}

const Bytes kSync(block::kSyncCharacters, block::kSyncCharacter);

// 8N1 characters at `spb` samples per bit, a 1 (and the idle line) at the low level.
std::vector<int> serialSamples(const Bytes& data, double spb, int amplitude = 8000,
                               int idleBefore = 400, int idleAfter = 400)
{
    synth::SerialLine line;
    line.addIdle(static_cast<std::size_t>(idleBefore / spb));
    line.addCharacters(data);
    line.addIdle(static_cast<std::size_t>(idleAfter / spb));
    std::vector<int> out;
    for (float v : synth::modulateLevels(line.bits(), spb))
        out.push_back(static_cast<int>(v) * amplitude);
    return out;
}

Bytes pcm16(const std::vector<int>& samples)
{
    Bytes out;
    for (int s : samples)
        append(out, littleEndian(static_cast<std::int16_t>(s < -32768 ? -32768 : (s > 32767 ? 32767 : s))));
    return out;
}

Bytes f32(const std::vector<int>& samples)
{
    Bytes out;
    for (int s : samples)
        append(out, littleEndian(static_cast<float>(s)));
    return out;
}

// fuzz_signal_chain's bytes after the decoder header.
Bytes chainPrefix(bool floatSamples = false, std::uint16_t interval = 0, std::uint8_t second = 0)
{
    return Bytes{static_cast<std::uint8_t>(floatSamples ? 1 : 0)} + littleEndian(interval)
           + Bytes{second} + littleEndian(std::uint32_t{0});
}

void write(const std::string& target, const std::string& name, const Bytes& data)
{
    const std::string folder = corpus + "/" + target;
    ::mkdir(corpus.c_str(), 0755);
    ::mkdir(folder.c_str(), 0755);
    const std::string path = folder + "/" + name;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(data.data(), 1, data.size(), f) != data.size() || std::fclose(f) != 0) {
        std::fprintf(stderr, "make_fuzz_seeds: cannot write %s\n", path.c_str());
        std::exit(2);
    }
}

void framerAndChainSeeds()
{
    const Bytes goodGps = gpsBlock({0x1A2B, 1234, 39.80, -76.90, 5123.4});
    Gps sw{0x00AB, 65535, -33.9, -151.2, 0.0};
    sw.satellites = 0;
    sw.variant = '2';
    const Bytes southWest = gpsBlock(sw);
    const Bytes ptu = ptuBlock();

    const std::string framer = "fuzz_packet_framer";
    const std::uint8_t allOn = kBadCrc | kPsu | kCal | kRecord;
    write(framer, "gps_good", header(flags(kRecord)) + goodGps);
    write(framer, "gps_south_west", header(flags(kRecord)) + southWest);
    Gps bad{1, 2, 10, 20, 30};
    bad.good = false;
    write(framer, "gps_bad_crc_shown", header(flags(allOn)) + gpsBlock(bad));
    write(framer, "ptu_then_gps", header(flags(allOn)) + kSync + ptu + kSync + goodGps);
    write(framer, "ptu_short", header(flags(allOn)) + ptuBlock(20) + goodGps);
    write(framer, "ptu_long", header(flags(allOn)) + ptuBlock(200, 5) + goodGps);
    Gps full{2, 3, 1, 2, 3};
    full.satellites = 20;
    full.lengthField = 300;
    write(framer, "gps_length_300", header(flags(allOn)) + gpsBlock(full) + Bytes(8, 0) + goodGps);
    Gps tooLong{2, 3, 1, 2, 3};
    tooLong.lengthField = 301;
    write(framer, "gps_length_301", header(flags(allOn)) + gpsBlock(tooLong) + goodGps);
    Gps empty{2, 3, 1, 2, 3};
    empty.lengthField = 0;
    write(framer, "gps_length_0", header(flags(allOn)) + gpsBlock(empty) + goodGps);
    Header reject = flags(kReject | allOn);
    reject.maxRange = 30.0f;
    write(framer, "bogus_rejected", header(reject) + gpsBlock({5, 6, 80.0, 100.0, 60000.0}) + goodGps);
    write(framer, "stray_dollars",
          header(flags(kRecord)) + Bytes{'$', '$', 'R', 'T', '1', '$', 'R', '$', 'R', 'M'} + goodGps);

    const std::string chain = "fuzz_signal_chain";
    // The last character is handed over only when the line next rises: a NUL ends the stream.
    const Bytes stream = kSync + ptu + kSync + goodGps + kSync + southWest + Bytes{0};
    const std::vector<int> at5 = serialSamples(stream, 5.0);
    write(chain, "edge_auto", header(flags(kAuto | kRecord | kPsu)) + chainPrefix() + pcm16(at5));
    Header level = flags(kRecord);
    level.demod = 1;
    write(chain, "level", header(level) + chainPrefix() + pcm16(at5));
    Header fixed = flags(kRecord);
    fixed.threshold = 3000.0f;
    write(chain, "edge_fixed_threshold", header(fixed) + chainPrefix() + pcm16(at5));
    std::vector<int> quarter;
    for (int s : at5)
        quarter.push_back(-s / 4);
    write(chain, "edge_inverted_filtered",
          header(flags(kInvert | kFilter | kAuto | kRecord)) + chainPrefix() + pcm16(quarter));
    write(chain, "float_samples", header(flags(kAuto | kRecord)) + chainPrefix(true) + f32(at5));
    Header pattern = flags(kInvert | kAuto | kRecord);
    pattern.demod = 2;
    write(chain, "pattern_4992",
          header(pattern) + chainPrefix()
              + pcm16(serialSamples(kSync + goodGps + kSync + ptu, 4.992, 8000, 400, 15500)));
    pattern.flags = kInvert | kFilter | kAuto | kRecord;
    pattern.samplesPerBit = 5.0f;
    write(chain, "pattern_5000_filtered",
          header(pattern) + chainPrefix()
              + pcm16(serialSamples(kSync + goodGps, 5.0, 8000, 400, 15500)));
    Header sync = flags(kAuto | kRecord);
    sync.demod = 3;
    write(chain, "sync", header(sync) + chainPrefix() + pcm16(at5));
    write(chain, "switching_demods",
          header(flags(kAuto | kRecord)) + chainPrefix(false, 64, 2) + pcm16(at5));
    std::vector<int> silent(3000, 0);
    silent.insert(silent.end(), at5.begin(), at5.end());
    write(chain, "silence_then_block", header(flags(kAuto | kRecord)) + chainPrefix() + pcm16(silent));
}

// ---- fuzz_settings -------------------------------------------------------------------------

const char* const kSettingsKeys[] = {
    "settingsAreOK", "recordDecodedText", "updateBadCrcPackets", "autoThreshold", "doFiltering",
    "invertSignal", "demodType", "rejectBogus", "samplesPerBit", "maxRange", "userLat", "userLon",
    "userAlt", "displayPsuData", "displayCalibrationData", "threshold", "soundInputDeviceIndex"};

bool isFloatKey(const std::string& key)
{
    for (const char* k : {"samplesPerBit", "maxRange", "userLat", "userLon", "userAlt", "threshold"})
        if (key == k)
            return true;
    return false;
}

// One key of fuzz_settings' typed layout.
Bytes typedMissing() { return Bytes{0}; }
Bytes typedInt(std::int32_t v) { return Bytes{1} + littleEndian(v); }
Bytes typedDouble(double v) { return Bytes{2} + littleEndian(v); }
Bytes typedFloat(float v) { return Bytes{3} + littleEndian(v); }
Bytes typedText(const std::string& text)
{
    return Bytes{4, static_cast<std::uint8_t>(text.size())} + Bytes(text.begin(), text.end());
}

void settingsSeeds()
{
    const std::string target = "fuzz_settings";
    Bytes normal{0};
    for (const char* key : kSettingsKeys) {
        const std::string k = key;
        if (isFloatKey(k)) {
            const float v = k == "samplesPerBit" ? 4.992f : k == "maxRange" ? 250.0f
                            : k == "userLat" ? 39.75f : k == "userLon" ? -76.98f
                            : k == "userAlt" ? 220.0f : 1234.5f;
            append(normal, typedFloat(v));
        } else {
            append(normal, typedInt(k == "settingsAreOK" || k == "autoThreshold" ? 1 : 0));
        }
    }
    write(target, "typed_normal", normal);

    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double infinity = std::numeric_limits<double>::infinity();
    const Bytes odd[] = {typedText("yes"), typedDouble(nan), typedText("1e999"),
                         typedInt(INT32_MIN), typedDouble(1e300), typedText("39,75"),
                         typedDouble(-infinity), typedText(""), typedInt(7)};
    Bytes nonsense = Bytes{0} + typedInt(1);
    for (std::size_t i = 1; i < sizeof kSettingsKeys / sizeof *kSettingsKeys; ++i)
        append(nonsense, odd[(i - 1) % (sizeof odd / sizeof *odd)]);
    write(target, "typed_nonsense", nonsense);
    write(target, "typed_only_ok_key", Bytes{0} + typedInt(1) + Bytes(16, 0));
    Bytes firstStart = Bytes{0} + typedMissing();
    for (int i = 0; i < 16; ++i)
        append(firstStart, typedInt(1));
    write(target, "typed_first_start", firstStart);

    const std::string ini =
        "[General]\nautoThreshold=1\ndemodType=2\ndisplayCalibrationData=0\n"
        "displayPsuData=0\ndoFiltering=0\ninvertSignal=0\nmaxRange=250\nrecordDecodedText=0\n"
        "rejectBogus=0\nsamplesPerBit=4.992000102996826\nsettingsAreOK=1\n"
        "soundInputDeviceIndex=0\nthreshold=1234.5\nupdateBadCrcPackets=0\n"
        "userAlt=220\nuserLat=39.75\nuserLon=-76.9800033569336\n";
    write(target, "file_normal", Bytes{1} + Bytes(ini.begin(), ini.end()));
    const std::string badIni =
        "[General]\nsettingsAreOK=true\ndemodType=-7\nsamplesPerBit=nan\n"
        "threshold=1e40\nuserLat=@Variant(\\0\\0\\0\\x87\\x42\\x1f\\0\\0)\n"
        "userLon=\"12, 13\"\nmaxRange=@ByteArray(abc)\nsoundInputDeviceIndex=99999999999\n"
        "[General\nuserAlt\n=5\n";
    write(target, "file_nonsense", Bytes{1} + Bytes(badIni.begin(), badIni.end()));
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_fuzz_seeds CORPUS_FOLDER (fuzz/corpus)\n");
        return 2;
    }
    corpus = argv[1];
    framerAndChainSeeds();
    settingsSeeds();
    return 0;
}
