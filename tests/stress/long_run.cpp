// long_run: hours of audio made on the fly, never stored, for the bounded-resource measurements.
//
//   long_run decode HOURS   decodes a synthesized flight in this process, draining the text as
//                           the window's periodic loop does (every 24,000 samples), and prints
//                           the peak and current resident size after every hour of audio
//   long_run flight HOURS   writes the same flight to standard output as raw signed 16-bit
//                           little-endian samples at 48,000 samples/s (for nimbra-decode -)
//   long_run noise HOURS    writes white Gaussian noise the same way
//
// The flight is a chain of 60-second flights (60 GPS blocks and 60 PTU blocks each, time
// counters running on), so every hour carries 3,600 fixes whose lines are known in advance.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "decoder/decoder.h"
#include "synth/synthesize.h"

namespace {

constexpr long kRate = 48000;
constexpr int kSegmentSeconds = 60;
constexpr std::size_t kTick = 24000;  // samples per 500 ms tick of the periodic loop

// Resident sizes from /proc/self/status, in KiB: the peak so far and the current one.
void residentKiB(long& peak, long& current)
{
    peak = current = -1;
    std::FILE* f = std::fopen("/proc/self/status", "r");
    if (!f)
        return;
    char line[256];
    while (std::fgets(line, sizeof line, f)) {
        if (std::strncmp(line, "VmHWM:", 6) == 0)
            peak = std::atol(line + 6);
        else if (std::strncmp(line, "VmRSS:", 6) == 0)
            current = std::atol(line + 6);
    }
    std::fclose(f);
}

nimbra::synth::Recording segment(int index)
{
    nimbra::synth::FlightSettings flight;
    flight.gpsBlocks = kSegmentSeconds;
    flight.firstCounter = static_cast<std::uint16_t>(1200 + kSegmentSeconds * index);
    flight.leadInS = 0.25;
    nimbra::synth::AudioChannelSettings audio;
    audio.lowPassHz = 7000.0;
    audio.ebN0Db = 25.0;
    audio.seed = static_cast<std::uint64_t>(index) + 1;
    return nimbra::synth::synthesizeFlight(flight, audio);
}

bool writeAll(const std::int16_t* samples, std::size_t count)
{
    return std::fwrite(samples, sizeof *samples, count, stdout) == count;
}

int emitFlight(double hours)
{
    const long total = std::lround(hours * 3600 * kRate);
    long written = 0;
    for (int i = 0; written < total; ++i) {
        const nimbra::synth::Recording rec = segment(i);
        const std::size_t n =
            std::min<std::size_t>(rec.samples.size(), static_cast<std::size_t>(total - written));
        if (!writeAll(rec.samples.data(), n))
            return 1;
        written += static_cast<long>(n);
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}

int emitNoise(double hours)
{
    const long total = std::lround(hours * 3600 * kRate);
    std::mt19937_64 rng(2026);
    std::normal_distribution<float> noise(0.0f, 4000.0f);
    std::vector<std::int16_t> block(kRate);
    for (long written = 0; written < total;) {
        for (std::int16_t& s : block)
            s = static_cast<std::int16_t>(std::fmax(-32768.0f, std::fmin(32767.0f, noise(rng))));
        const std::size_t n =
            std::min<std::size_t>(block.size(), static_cast<std::size_t>(total - written));
        if (!writeAll(block.data(), n))
            return 1;
        written += static_cast<long>(n);
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}

int decode(double hours)
{
    auto d = std::make_unique<nimbra::Decoder>();
    d->params.recordDecodedText = 1;
    const long total = std::lround(hours * 3600 * kRate);
    long fed = 0;
    long lines = 0;
    long expectedLines = 0;
    long pending = 0;
    long nextHour = 3600 * kRate;
    std::printf("hours_of_audio lines expected_lines good bad peak_rss_kib rss_kib\n");
    for (int i = 0; fed < total; ++i) {
        const nimbra::synth::Recording rec = segment(i);
        std::size_t fixesEnded = 0;  // fixes of this segment whose block has been fed whole
        for (std::size_t at = 0; at < rec.samples.size() && fed < total; at += kTick) {
            const std::size_t n = std::min({kTick, rec.samples.size() - at,
                                            static_cast<std::size_t>(total - fed)});
            d->ProcessSamples(rec.samples.data() + at, n);
            fed += static_cast<long>(n);
            // A block's last character is handed over when the line next rises, at the start
            // of the next block, at most half a second later: count a fix as due 0.6 s after
            // its block ends.
            const double segmentSeconds = static_cast<double>(at + n) / kRate;
            while (fixesEnded < rec.flight.fixes.size() &&
                   rec.flight.fixes[fixesEnded].endTimeS + 0.6 <= segmentSeconds) {
                ++fixesEnded;
                ++expectedLines;
            }
            // Fixes whose block has ended but that may still wait for the line to rise.
            pending = 0;
            for (std::size_t k = fixesEnded; k < rec.flight.fixes.size() &&
                                             rec.flight.fixes[k].endTimeS <= segmentSeconds;
                 ++k)
                ++pending;
            const std::string shown = d->decodedDisplayText.takeAll();
            d->decodedRecordText.takeAll();
            for (char c : shown)
                lines += c == '\r';
            if (fed >= nextHour) {
                long peak = 0;
                long current = 0;
                residentKiB(peak, current);
                std::printf("%.0f %ld %ld %d %d %ld %ld\n", static_cast<double>(fed) / 3600 / kRate,
                            lines, expectedLines, d->telemetry.goodPackets.load(),
                            d->telemetry.badPackets.load(), peak, current);
                std::fflush(stdout);
                nextHour += 3600 * kRate;
            }
        }
        // The segment ends with the sync characters of a cut-off block, which hand over the
        // last character of its last fix.
        if (fed < total) {
            expectedLines += static_cast<long>(rec.flight.fixes.size() - fixesEnded);
            pending = 0;
        }
    }
    const std::string shown = d->decodedDisplayText.takeAll();
    for (char c : shown)
        lines += c == '\r';
    std::printf("end: %ld lines, %ld expected (and up to %ld whose block had just ended)\n",
                lines, expectedLines, pending);
    return lines >= expectedLines && lines <= expectedLines + pending ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3 || std::atof(argv[2]) <= 0) {
        std::fprintf(stderr, "usage: long_run decode|flight|noise HOURS\n");
        return 2;
    }
    const std::string mode = argv[1];
    const double hours = std::atof(argv[2]);
    if (mode == "decode")
        return decode(hours);
    if (mode == "flight")
        return emitFlight(hours);
    if (mode == "noise")
        return emitNoise(hours);
    std::fprintf(stderr, "long_run: unknown mode %s\n", mode.c_str());
    return 2;
}
