// sensitivity: packet success of every demodulator against Eb/N0 in the radio channel model,
// compared with integrate-and-dump on a perfect clock and with the theoretical limits; writes
// docs/performance.md and docs/sensitivity.png.
//
// In:  options (see usage()); everything else is fixed: seeds, blocks, channel.
// Out: the Markdown page with the tables, the PNG plot (drawn by gnuplot), progress on stderr.
//
// Each point renders a stream of GPS blocks (2 sync characters, a 298-byte block with L = 286,
// 20 idle bits: 3,020 line bits) through the radio channel model (CPFSK, deviation +-3.6 kHz,
// 19.2 kHz IF, discriminator, 11 kHz low-pass, 16-bit samples) and feeds the same samples to one
// decoder per demodulator. A block counts as a success when the framer finishes it with a good
// checksum and its bytes are exactly those sent; a good checksum on other bytes is a wrong block.
// Blocks are added in batches until every demodulator's success is known to +-3 % (95 %
// interval by the normal approximation), between 100 and 1,100 blocks per point.
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "decoder/decoder.h"
#include "synth/audio_channel.h"
#include "synth/channel_rf.h"
#include "synth/random.h"
#include "synth/serial_line.h"
#include "synth/telemetry_blocks.h"
#include "sensitivity_figures.h"
#include "sensitivity_band.h"
#include "sensitivity_sdr.h"

namespace {

using namespace sensitivity;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr double kSampleRate = 48000.0;

// ---- Options --------------------------------------------------------------------------------

struct Options {
    std::string outDir = "docs";
    double fromDb = 6.0;
    double toDb = 26.0;
    double stepDb = 0.5;
    int maxBlocks = kMaxBlocks;
    int jobs = 1;
    double noiseSeconds = 3600.0;
    bool plot = true;
    bool sdr = true;     // the SDR cases and the audio channel's fix rates
    bool quick = false;  // whole dB steps in the SDR cases
    bool band = true;    // the band receiver's section
    bool bandOnly = false;
    int trials = 200;
    double falseSeconds = 3600.0;
};

void usage()
{
    std::fprintf(stderr,
                 "usage: sensitivity [--out DIR] [--from DB] [--to DB] [--step DB]\n"
                 "                   [--max-blocks N] [--jobs N] [--noise-seconds S] [--no-plot]\n"
                 "                   [--no-sdr] [--no-band] [--band-only] [--trials N]\n"
                 "                   [--false-seconds S] [--quick]\n"
                 "Writes DIR/performance.md, DIR/sensitivity.png, DIR/sensitivity-sdr.png and\n"
                 "DIR/sensitivity-band.png (default DIR: docs). --no-sdr leaves out the SDR cases\n"
                 "and the audio channel's fix rates, --no-band the band receiver's section;\n"
                 "--band-only runs that section alone and puts it into the page as it is;\n"
                 "--trials sets the acquisition trials of each kind, --false-seconds the length\n"
                 "of the false-channel run; --quick takes the SDR and band curves in whole dB\n"
                 "steps.\n");
}

bool parse(int argc, char** argv, Options& o)
{
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](double& v) {
            if (i + 1 >= argc)
                return false;
            char* end = nullptr;
            v = std::strtod(argv[++i], &end);
            return end && *end == '\0';
        };
        double v = 0.0;
        if (a == "--help" || a == "-h") {
            usage();
            std::exit(0);
        }
        if (a == "--out" && i + 1 < argc)
            o.outDir = argv[++i];
        else if (a == "--from" && value(v))
            o.fromDb = v;
        else if (a == "--to" && value(v))
            o.toDb = v;
        else if (a == "--step" && value(v) && v > 0.0)
            o.stepDb = v;
        else if (a == "--max-blocks" && value(v) && v >= 1)
            o.maxBlocks = static_cast<int>(v);
        else if (a == "--jobs" && value(v) && v >= 1)
            o.jobs = static_cast<int>(v);
        else if (a == "--noise-seconds" && value(v) && v >= 0)
            o.noiseSeconds = v;
        else if (a == "--no-plot")
            o.plot = false;
        else if (a == "--no-sdr")
            o.sdr = false;
        else if (a == "--quick")
            o.quick = true;
        else if (a == "--no-band")
            o.band = false;
        else if (a == "--band-only")
            o.bandOnly = true;
        else if (a == "--trials" && value(v) && v >= 1)
            o.trials = static_cast<int>(v);
        else if (a == "--false-seconds" && value(v) && v >= 0)
            o.falseSeconds = v;
        else {
            std::fprintf(stderr, "sensitivity: bad option '%s'\n", a.c_str());
            usage();
            return false;
        }
    }
    return true;
}

// ---- Demodulators under test ----------------------------------------------------------------

double samplesPerBitAt(double ppm) { return 5.0 / (1.0 + ppm * 1e-6); }

struct ReceiverSetup {
    std::string name;
    int demodType = 0;    // -1: integrate-and-dump on a perfect clock (computed here)
    int invert = 0;       // the Pattern demodulator reads a positive sum as a 1 bit
    float samplesPerBit = 4.992f;
};

std::vector<ReceiverSetup> demodsFor(double ppm, bool all)
{
    std::vector<ReceiverSetup> d;
    d.push_back({"I&D, perfect clock", -1, 0, 0.0f});
    if (all) {
        const float matched = std::round(float(samplesPerBitAt(ppm)) * 1000.0f) / 1000.0f;
        const float mismatched = matched == 5.0f ? 4.992f : 5.0f;
        char m[64], mm[64];
        std::snprintf(m, sizeof m, "Pattern, spb %.3f (matched)", double(matched));
        std::snprintf(mm, sizeof mm, "Pattern, spb %.3f (mismatched)", double(mismatched));
        d.push_back({"Edge", 0, 0, 4.992f});
        d.push_back({"Level", 1, 0, 4.992f});
        d.push_back({m, 2, 1, matched});
        d.push_back({mm, 2, 1, mismatched});
    }
    d.push_back({"Sync", 3, 0, 4.992f});
    return d;
}

struct Tally {
    int good = 0;
    int wrong = 0;
    int bad = 0;
    int repaired = 0;
    double seconds = 0.0;  // processing time
};

struct Point {
    double ebN0Db = 0.0;
    int blocks = 0;
    std::vector<Tally> tally;  // one per demodulator
};

struct Sweep {
    double ppm = 0.0;
    std::vector<ReceiverSetup> demods;
    std::vector<Point> points;
    double genieDelay = 0.0;
    double audioSeconds = 0.0;
};

// ---- Signal ---------------------------------------------------------------------------------

std::vector<std::int16_t> toPcm(const std::vector<float>& audio)
{
    std::vector<std::int16_t> out(audio.size());
    for (std::size_t i = 0; i < audio.size(); ++i)
        out[i] = static_cast<std::int16_t>(std::lround(std::clamp(audio[i], -32768.0f, 32767.0f)));
    return out;
}

// Integral of the samples over [a, b) in sample units, sample i standing for [i, i + 1).
double boxSum(const std::vector<std::int16_t>& x, double a, double b)
{
    const auto i0 = static_cast<long>(std::floor(a));
    const auto i1 = static_cast<long>(std::floor(b));
    if (i0 < 0 || i1 >= static_cast<long>(x.size()))
        return 0.0;
    if (i0 == i1)
        return x[i0] * (b - a);
    double s = x[i0] * (double(i0 + 1) - a);
    for (long i = i0 + 1; i < i1; ++i)
        s += x[i];
    return s + x[i1] * (b - double(i1));
}

// The channel's delay (filters and decimation), found on a clean signal: the offset at which
// integrate-and-dump on the known clock correlates best with the bits sent.
double findDelay(double ppm)
{
    nimbra::synth::Random random(5);
    nimbra::synth::SerialLine line;
    line.addIdle(kIdleBits);
    for (int i = 0; i < 40; ++i)
        line.addCharacter(static_cast<std::uint8_t>(random.next() >> 56));
    nimbra::synth::RfChannel channel({});
    const double spb = samplesPerBitAt(ppm);
    const auto x = toPcm(channel.render(line.bits(), spb));
    double best = -1e300, delay = 0.0;
    for (double d = 0.0; d < 10.0; d += 1.0 / 32.0) {
        double m = 0.0;
        for (std::size_t k = kIdleBits; k < line.size(); ++k) {
            const double v = boxSum(x, k * spb + d, (k + 1) * spb + d);
            m += line.bits()[k] ? -v : v;
        }
        if (m > best) {
            best = m;
            delay = d;
        }
    }
    return delay;
}

// One point: a stream of blocks at one Eb/N0, fed to every demodulator.
Point runPoint(const Sweep& sweep, double ebN0Db, std::uint64_t seed, int maxBlocks)
{
    const double spb = samplesPerBitAt(sweep.ppm);
    const std::size_t nd = sweep.demods.size();
    Point point;
    point.ebN0Db = ebN0Db;
    point.tally.resize(nd);

    nimbra::synth::RfChannelSettings rf;
    rf.ebN0Db = ebN0Db;
    rf.seed = seed;
    nimbra::synth::RfChannel channel(rf);
    nimbra::synth::Random random(seed ^ 0xB10C5);
    std::vector<Block> sent;

    std::vector<std::unique_ptr<nimbra::Decoder>> decoders(nd);
    for (std::size_t i = 0; i < nd; ++i) {
        const ReceiverSetup& setup = sweep.demods[i];
        if (setup.demodType < 0)
            continue;
        auto d = std::make_unique<nimbra::Decoder>();
        d->params.demodType = setup.demodType;
        d->params.invertSignal = setup.invert;
        d->params.doFiltering = 0;
        d->params.autoThreshold = 1;
        d->params.samplesPerBit = setup.samplesPerBit;
        d->setClock([] { return std::int64_t{1700000000000}; });
        d->setDiagnosticSink([](const char*) {});
        Tally* t = &point.tally[i];
        d->setPacketListener([t, &sent](const nimbra::PacketEvent& e) {
            if (!e.crcGood) {
                ++t->bad;
                return;
            }
            const int id = e.length > 8 ? e.bytes[6] * 256 + e.bytes[7] : -1;
            const bool right = id >= 0 && id < static_cast<int>(sent.size())
                               && e.length == static_cast<int>(sent[id].size())
                               && std::memcmp(e.bytes, sent[id].data(), sent[id].size()) == 0;
            ++(right ? t->good : t->wrong);
            t->repaired += e.bitsRepaired != 0;
        });
        decoders[i] = std::move(d);
    }

    auto feed = [&](const std::vector<std::int16_t>& pcm) {
        for (std::size_t i = 0; i < nd; ++i) {
            if (!decoders[i])
                continue;
            const double t0 = threadSeconds();
            decoders[i]->ProcessSamples(pcm.data(), pcm.size());
            point.tally[i].seconds += threadSeconds() - t0;
            decoders[i]->decodedDisplayText.takeAll();
        }
    };

    // Leading idle time. The channel's output is one continuous signal: line bit k spans
    // [k spb, (k + 1) spb) in output samples counted from the first, plus the channel's delay.
    long bitsSoFar = 0;
    long samplesSoFar = 0;
    {
        nimbra::synth::SerialLine idle;
        idle.addIdle(2 * kIdleBits);
        const auto pcm = toPcm(channel.render(idle.bits(), spb));
        feed(pcm);
        bitsSoFar += static_cast<long>(idle.size());
        samplesSoFar += static_cast<long>(pcm.size());
    }

    const std::size_t genie = 0;  // index of the perfect-clock receiver
    for (;;) {
        for (int b = 0; b < kBatch; ++b) {
            const int index = static_cast<int>(sent.size());
            sent.push_back(makeBlock(random, index));
            nimbra::synth::SerialLine line;
            nimbra::synth::sendBlock(line, sent.back());
            line.addIdle(kIdleBits);
            const auto pcm = toPcm(channel.render(line.bits(), spb));

            // Integrate-and-dump on the true clock, bits of the '$' onward.
            const double base = bitsSoFar * spb + sweep.genieDelay - double(samplesSoFar);
            bool right = true;
            for (int c = 2; c < 2 + static_cast<int>(sent.back().size()) && right; ++c) {
                int byte = 0;
                for (int i = 0; i < 8; ++i) {
                    const double k = c * 10 + 1 + i;
                    if (boxSum(pcm, base + k * spb, base + (k + 1) * spb) < 0.0)
                        byte |= 1 << i;
                }
                right = byte == sent.back()[c - 2];
            }
            point.tally[genie].good += right;

            feed(pcm);
            bitsSoFar += static_cast<long>(line.size());
            samplesSoFar += static_cast<long>(pcm.size());
        }
        const int n = static_cast<int>(sent.size());
        bool enough = n >= maxBlocks;
        if (!enough && n >= kMinBlocks) {
            enough = true;
            for (std::size_t i = 0; i < nd; ++i)
                enough = enough && halfWidth(point.tally[i].good, n) <= kHalfWidth;
        }
        if (enough)
            break;
    }
    // Long enough idle for the last block to leave every demodulator (the Pattern window is
    // 15,000 samples), then one character whose start bit completes the slicers' last one.
    nimbra::synth::SerialLine tail;
    tail.addIdle(3200);
    tail.addCharacter(0x55);
    tail.addIdle(kIdleBits);
    feed(toPcm(channel.render(tail.bits(), spb)));
    point.blocks = static_cast<int>(sent.size());
    return point;
}

void runSweep(Sweep& sweep, const Options& o, double fromDb, double toDb, std::uint64_t seedBase)
{
    sweep.genieDelay = findDelay(sweep.ppm);
    // Above 20 dB only the slicers are still short of 100 %: whole dB steps suffice there.
    std::vector<double> levels;
    for (double e = fromDb; e <= toDb + 1e-9; e += (e >= 20.0 - 1e-9 ? 1.0 : o.stepDb))
        levels.push_back(e);
    sweep.points.assign(levels.size(), {});
    std::atomic<std::size_t> next{0};
    auto worker = [&] {
        for (std::size_t i; (i = next++) < levels.size();) {
            const auto t0 = Clock::now();
            sweep.points[i] = runPoint(sweep, levels[i], seedBase + 1000 * i, o.maxBlocks);
            const Point& p = sweep.points[i];
            std::fprintf(stderr, "%+6.0f ppm %5.1f dB %5d blocks %6.1f s:", sweep.ppm, p.ebN0Db,
                         p.blocks, std::chrono::duration<double>(Clock::now() - t0).count());
            for (const Tally& t : p.tally)
                std::fprintf(stderr, " %5.1f", 100.0 * t.good / p.blocks);
            std::fprintf(stderr, "\n");
        }
    };
    std::vector<std::thread> threads;
    for (int j = 1; j < o.jobs; ++j)
        threads.emplace_back(worker);
    worker();
    for (auto& t : threads)
        t.join();
    for (const Point& p : sweep.points)
        sweep.audioSeconds += p.blocks * 3020.0 * samplesPerBitAt(sweep.ppm) / kSampleRate;
}

// ---- Figures --------------------------------------------------------------------------------

// Eb/N0 where a demodulator's measured success first reaches `target` and stays there.
double measuredCrossing(const Sweep& s, std::size_t demod, double target)
{
    std::vector<double> ebN0, success;
    for (const Point& p : s.points) {
        ebN0.push_back(p.ebN0Db);
        success.push_back(double(p.tally[demod].good) / p.blocks);
    }
    return sensitivity::measuredCrossing(ebN0, success, target);
}

struct NoiseResult {
    std::string channel;
    double seconds = 0.0;
    int good = 0;
    int bad = 0;
};

// The Sync demodulator alone on noise: the radio channel with no carrier (the discriminator then
// gives nothing but clicks and FM noise) and the audio model's white Gaussian noise.
std::vector<NoiseResult> noiseHour(double seconds)
{
    std::vector<NoiseResult> results;
    for (int kind = 0; kind < 2; ++kind) {
        auto d = std::make_unique<nimbra::Decoder>();
        d->params.demodType = 3;
        d->setClock([] { return std::int64_t{1700000000000}; });
        NoiseResult r;
        r.channel = kind == 0 ? "radio model, no carrier (Eb/N0 setting 10 dB)"
                              : "audio model, white Gaussian noise (sigma 4,000)";
        d->setPacketListener(
            [&r](const nimbra::PacketEvent& e) { ++(e.crcGood ? r.good : r.bad); });
        nimbra::synth::RfChannelSettings rf;
        rf.carrier = false;
        rf.ebN0Db = 10.0;
        rf.seed = 36000;
        nimbra::synth::RfChannel channel(rf);
        nimbra::synth::Random random(36001);
        const std::vector<std::uint8_t> bits(9600, 1);
        std::vector<float> gauss(48000);
        for (double t = 0.0; t < seconds; t += 1.0) {
            std::vector<float> audio;
            if (kind == 0) {
                audio = channel.render(bits, 5.0);
            } else {
                for (float& v : gauss)
                    v = static_cast<float>(4000.0 * random.gaussian());
                audio = gauss;
            }
            const auto pcm = toPcm(audio);
            d->ProcessSamples(pcm.data(), pcm.size());
            d->decodedDisplayText.takeAll();
        }
        r.seconds = seconds;
        results.push_back(r);
        std::fprintf(stderr, "noise: %s: %g s, %d good, %d bad blocks\n", r.channel.c_str(),
                     seconds, r.good, r.bad);
    }
    return results;
}

// ---- Output ---------------------------------------------------------------------------------

std::string fileName(const Sweep& s, std::size_t demod)
{
    std::ostringstream n;
    n << "sweep_" << static_cast<long>(s.ppm) << "_" << demod << ".dat";
    return n.str();
}

void writeData(const fs::path& dir, const Sweep& s)
{
    for (std::size_t i = 0; i < s.demods.size(); ++i) {
        std::ofstream f(dir / fileName(s, i));
        for (const Point& p : s.points)
            f << p.ebN0Db << ' ' << double(p.tally[i].good) / p.blocks << '\n';
    }
}

bool plot(const fs::path& dataDir, const fs::path& png, const std::vector<Sweep>& sweeps)
{
    const fs::path script = dataDir / "sensitivity.gp";
    std::ofstream g(script);
    gnuplotHeader(g, png.string(), 1400, 620, sweeps.size());
    g << "set xrange [6:26]\n";
    for (const Sweep& s : sweeps) {
        char title[160];
        std::snprintf(title, sizeof title,
                      "Radio channel model, %.0f bit/s (%+.0f ppm), 3,000-bit blocks",
                      9600.0 * (1.0 + s.ppm * 1e-6), s.ppm);
        g << "set title '" << title << "'\n";
        g << theoryPlot();
        // One colour per receiver, in the order of demodsFor(); the reference dashed, so that
        // the matched Pattern curve drawn over it still shows.
        static const char* const colours[] = {"#009e73", "#e69f00", "#b8860b",
                                              "#0072b2", "#d55e00", "#000000"};
        for (std::size_t i = 0; i < s.demods.size(); ++i) {
            const bool reference = s.demods[i].demodType < 0;
            g << ", '" << (dataDir / fileName(s, i)).string() << "' with linespoints"
              << (reference ? " lw 3 dt 4 pt 6 ps 0.8" : " lw 2 pt 7 ps 0.6") << " lc rgb '"
              << colours[i % 6] << "' title '" << s.demods[i].name << "'";
        }
        g << "\n";
    }
    return runGnuplot(g, script.string());
}

// The page's hand-written summary (the figures against their targets, the speeds iq_bench
// measured), kept from the page being replaced: the lines from "<!-- summary -->" to
// "<!-- /summary -->" and the blank line after them.
std::string keptSummary(const fs::path& md)
{
    std::ifstream in(md);
    std::stringstream all;
    all << in.rdbuf();
    const std::string text = all.str();
    const std::string open = "<!-- summary -->", close = "<!-- /summary -->\n";
    const std::size_t a = text.find(open), b = text.find(close);
    if (a == std::string::npos || b == std::string::npos || b < a)
        return "";
    return text.substr(a, b + close.size() - a) + "\n";
}

// The band receiver's section between its markers.
std::string bandSection(const BandResults& band)
{
    std::stringstream s;
    s << "<!-- band -->\n";
    writeBandSection(s, band);
    s << "<!-- /band -->\n";
    return s.str();
}

// Replaces the band section of an existing page (or adds it before the per-point tables).
void spliceBandSection(const fs::path& md, const BandResults& band)
{
    std::ifstream in(md);
    std::stringstream all;
    all << in.rdbuf();
    std::string text = all.str();
    in.close();
    const std::string open = "<!-- band -->", close = "<!-- /band -->\n";
    const std::size_t a = text.find(open), b = text.find(close);
    if (a != std::string::npos && b != std::string::npos && b > a) {
        text.replace(a, b + close.size() - a, bandSection(band));
    } else {
        const std::size_t at = text.find("\n## Per point");
        text.insert(at == std::string::npos ? text.size() : at + 1, bandSection(band) + "\n");
    }
    std::ofstream(md) << text;
}

void writePage(const fs::path& md, const Options& o, const std::vector<Sweep>& sweeps,
               const std::vector<Sweep>& extra, const std::vector<NoiseResult>& noise,
               const SdrResults* sdr, const BandResults* band, double wallSeconds)
{
    const std::string summary = keptSummary(md);
    std::ofstream f(md);
    f << "# Sensitivity of the demodulators\n\n"
      << "How weak a signal each demodulator still reads, measured on synthesized receiver audio "
         "and, for the SDR receiver, on synthesized IQ, and compared with the theoretical limits. "
         "Made by `scripts/sensitivity.sh` (the `sensitivity` program in `bench/`); every figure "
         "below comes from its last run. The SDR receiver's part is [further down](#sdr-input).\n\n"
      << summary
      << "![Block success against Eb/N0](sensitivity.png)\n\n"
      << "## Method\n\n"
      << "- **Channel** (radio model of the synthesizer): continuous-phase FSK at complex "
         "baseband, 192,000 samples/s, deviation +-3.6 kHz (modulation index 0.75 at 9,600 bit/s), "
         "unit-power carrier plus white Gaussian noise at the stated Eb/N0, IF low-pass "
         "(4th-order Butterworth, 19.2 kHz two-sided), FM discriminator (phase step between "
         "samples), 11 kHz anti-alias low-pass (4th-order Butterworth), every fourth sample kept "
         "(48,000 samples/s), scaled so that the deviation reads 10,000, rounded and clipped to "
         "16 bits. Weak signals give clicks, as a real limiter-discriminator does.\n"
      << "- **Blocks**: GPS blocks with L = 286 (298 bytes from the '$', random payload), each "
         "after two 0xCA sync characters and followed by 20 idle bits: 3,000 line bits per block "
         "plus idle. A block is a success when the framer finishes it with a good checksum and "
         "its bytes are exactly the bytes sent; a good checksum on any other bytes is a *wrong* "
         "block.\n"
      << "- **Points**: Eb/N0 from " << o.fromDb << " to " << o.toDb << " dB in " << o.stepDb
      << " dB steps (whole dB above 20 dB, where only the Edge and Level slicers still miss "
         "blocks); the Sync demodulator and its reference alone also at -2,500 and +2,500 ppm, "
         "9 to 15 dB. Blocks are added 50 at a time until every receiver's success is known "
         "within +-3 % (95 % interval), at least 100 and at most "
      << o.maxBlocks << " blocks per point: up to the cap near 50 % success (+-3 % there takes "
         "about 1,070), a few hundred near 90 %, 100 where every receiver gets all or nothing. Seeds are fixed, so a run repeats "
         "exactly.\n"
      << "- **Receivers**: every demodulator of the program with default settings "
         "(automatic threshold, conditioning filter off; the Pattern demodulator, which reads a "
         "positive integral as a 1 bit, with the signal inverted), and integrate-and-dump on a "
         "perfect clock (bit rate and phase known exactly, no framing), the reference the Sync "
         "demodulator is held to. The Pattern demodulator is run with `samplesPerBit` matched to "
         "the signal and mismatched (4.992 against 5.000).\n"
      << "- **Theory** (3,000 bits per block, curves in the plot): the matched-filter limit, "
         "success = (1 - Q(sqrt(2 Eb/N0)))^3000, and non-coherent FSK, "
         "success = (1 - exp(-Eb/2N0)/2)^3000. A discriminator cannot reach the matched-filter "
         "limit: in this model integrate-and-dump after the discriminator loses about 4 dB.\n\n";

    f << "## Eb/N0 for 50 % and 90 % of blocks\n\n"
      << "| receiver | bit rate | 50 % (dB) | 90 % (dB) | blocks accepted | wrong | repaired |\n"
      << "|---|---|---|---|---|---|---|\n";
    f << "| matched-filter limit (theory) | any | " << db(crossing(matchedLimit, 0.5), 0) << " | "
      << db(crossing(matchedLimit, 0.9), 0) << " | | | |\n";
    f << "| non-coherent FSK (theory) | any | " << db(crossing(nonCoherent, 0.5), 0) << " | "
      << db(crossing(nonCoherent, 0.9), 0) << " | | | |\n";
    long totalAccepted = 0, totalWrong = 0;
    for (const auto* list : {&sweeps, &extra}) {
        for (const Sweep& s : *list) {
            for (std::size_t i = 0; i < s.demods.size(); ++i) {
                long accepted = 0, wrong = 0, repaired = 0;
                for (const Point& p : s.points) {
                    accepted += p.tally[i].good + p.tally[i].wrong;
                    wrong += p.tally[i].wrong;
                    repaired += p.tally[i].repaired;
                }
                if (s.demods[i].demodType >= 0) {
                    totalAccepted += accepted;
                    totalWrong += wrong;
                }
                char rate[64];
                std::snprintf(rate, sizeof rate, "%.1f bit/s (%+.0f ppm)",
                              9600.0 * (1.0 + s.ppm * 1e-6), s.ppm);
                f << "| " << s.demods[i].name << " | " << rate << " | "
                  << db(measuredCrossing(s, i, 0.5), s.points.back().ebN0Db) << " | "
                  << db(measuredCrossing(s, i, 0.9), s.points.back().ebN0Db) << " | ";
                if (s.demods[i].demodType >= 0)
                    f << accepted << " | " << wrong << " | " << repaired << " |\n";
                else
                    f << "(reference) | | |\n";
            }
        }
    }
    f << "\nWrong blocks accepted, all demodulators and points together: " << totalWrong
      << " of " << totalAccepted << " accepted.\n\n";

    // Sync against its targets.
    f << "## Sync demodulator against its targets\n\n"
      << "| bit rate | Sync 90 % | I&D perfect clock 90 % | Sync minus I&D | Edge 90 % "
         "| Edge minus Sync |\n"
      << "|---|---|---|---|---|---|\n";
    for (const auto* list : {&sweeps, &extra}) {
        for (const Sweep& s : *list) {
            std::size_t sync = 0, edge = s.demods.size();
            for (std::size_t i = 0; i < s.demods.size(); ++i) {
                if (s.demods[i].demodType == 3)
                    sync = i;
                if (s.demods[i].demodType == 0)
                    edge = i;
            }
            const double ds = measuredCrossing(s, sync, 0.9);
            const double dg = measuredCrossing(s, 0, 0.9);
            char line[256];
            std::snprintf(line, sizeof line, "| %+.0f ppm | %.1f | %.1f | %+.1f dB |", s.ppm, ds,
                          dg, ds - dg);
            f << line;
            if (edge < s.demods.size()) {
                const double de = measuredCrossing(s, edge, 0.9);
                std::snprintf(line, sizeof line, " %s | %s |\n",
                              db(de, s.points.back().ebN0Db).c_str(),
                              std::isnan(de) ? "> 3 dB" : (db(de - ds, 0) + " dB").c_str());
                f << line;
            } else {
                f << " | |\n";
            }
        }
    }
    f << "\n";

    if (!noise.empty()) {
        f << "Noise alone, Sync demodulator:\n\n"
          << "| input | duration | blocks accepted | blocks counted bad |\n|---|---|---|---|\n";
        for (const NoiseResult& r : noise)
            f << "| " << r.channel << " | " << static_cast<long>(r.seconds / 60.0) << " min | "
              << r.good << " | "
              << r.bad << " |\n";
        f << "\n";
    }

    f << "## Reading the figures\n\n"
      << "- After a discriminator, weak-signal errors are clicks: short spikes of a sample or two "
         "that flip one bit. Integrate-and-dump on a perfect clock is the best a bit-by-bit "
         "decision can do on this audio; it sits near the non-coherent FSK curve, some 4 dB "
         "from the matched-filter limit of the radio signal itself.\n"
      << "- The Sync demodulator integrates each bit over its own interval, times every "
         "character from its start-bit edge (no setting to match), reads the finished block "
         "again on a straight line fitted through all its edges, and repairs a block with one "
         "wrong bit. Which bits it tries depends on the block's noise: where the spread of its "
         "values explains no wrong bit (a discriminator's clicks, as here) the bits with the "
         "largest sample; under Gaussian noise the bits of least value (see the audio channel "
         "below). The repair is what puts it at or beyond the perfect-clock reference. It is "
         "tried only on blocks with sound framing whose values suggest at most 2.5 wrong bits, "
         "and only on the eight most doubtful bits, never a clearly received one, so the "
         "checksum keeps its strength: see the wrong-block columns and the noise tests.\n"
      << "- The Pattern demodulator is integrate-and-dump on a fixed clock. With "
         "`samplesPerBit` matched to the signal it follows the reference; 1,603 ppm off, its "
         "clock drifts by almost five bits over a block and no block survives at any level.\n"
      << "- The Edge and Level slicers decide on single samples (Level on two, Edge on the "
         "rise over three against a threshold of 1.225 times the RMS) and measure runs in "
         "whole samples, so they need a far stronger signal; the Edge slicer's threshold sits "
         "close to the rise of a clean transition, which costs it most.\n\n";

    f << "## Speed in this sweep\n\n"
      << "Multiple of real time (48,000 samples/s), thread CPU time through the decoder's "
         "per-sample entry, on the sweep's own signals: blocks back to back at every Eb/N0, "
         "so the block demodulators work all the time (a flight has a block or two a second and "
         "idles between them). `decoder_bench` and `sensitivity_bench` measure flights and "
         "noise in isolation.\n\n| receiver | x real time |\n|---|---|\n";
    for (std::size_t i = 0; i < sweeps.front().demods.size(); ++i) {
        if (sweeps.front().demods[i].demodType < 0)
            continue;
        double seconds = 0.0, audio = 0.0;
        for (const Sweep& s : sweeps) {
            for (const Point& p : s.points)
                seconds += p.tally[i].seconds;
            audio += s.audioSeconds;
        }
        char line[128];
        std::snprintf(line, sizeof line, "| %s | %.0f |\n", sweeps.front().demods[i].name.c_str(),
                      audio / seconds);
        f << line;
    }
    if (sdr)
        writeSdrSections(f, *sdr);
    if (band)
        f << "\n" << bandSection(*band);
    f << "\n## Per point\n\n";
    for (const auto* list : {&sweeps, &extra}) {
        for (const Sweep& s : *list) {
            char h[96];
            std::snprintf(h, sizeof h, "%.1f bit/s (%+.0f ppm): percentage of blocks intact\n\n",
                          9600.0 * (1.0 + s.ppm * 1e-6), s.ppm);
            f << "### " << h << "| Eb/N0 (dB) | blocks |";
            for (const ReceiverSetup& d : s.demods)
                f << " " << d.name << " |";
            f << "\n|---|---|";
            for (std::size_t i = 0; i < s.demods.size(); ++i)
                f << "---|";
            f << "\n";
            for (const Point& p : s.points) {
                char cell[64];
                std::snprintf(cell, sizeof cell, "| %.1f | %d |", p.ebN0Db, p.blocks);
                f << cell;
                for (const Tally& t : p.tally) {
                    std::snprintf(cell, sizeof cell, " %.1f |", 100.0 * t.good / p.blocks);
                    f << cell;
                }
                f << "\n";
            }
            f << "\n";
        }
    }
    char tail[128];
    std::snprintf(tail, sizeof tail, "Run time of the whole sweep: %.0f s.\n", wallSeconds);
    f << tail;
}

}  // namespace

int main(int argc, char** argv)
{
    Options o;
    if (!parse(argc, argv, o))
        return 2;
    const auto start = Clock::now();
    std::error_code ec;
    fs::create_directories(o.outDir, ec);
    const fs::path dataDir =
        fs::temp_directory_path() / ("nimbra-sensitivity-" + std::to_string(::getpid()));
    fs::create_directories(dataDir, ec);
    BandOptions bo;
    bo.maxBlocks = o.maxBlocks;
    bo.jobs = o.jobs;
    bo.trials = o.trials;
    bo.falseChannelSeconds = o.falseSeconds;
    bo.quick = o.quick;
    if (o.bandOnly) {
        const BandResults band = runBandSweeps(bo);
        spliceBandSection(fs::path(o.outDir) / "performance.md", band);
        if (o.plot && !plotBand(dataDir, fs::path(o.outDir) / "sensitivity-band.png", band))
            std::fprintf(stderr, "sensitivity: gnuplot failed on the band plot\n");
        fs::remove_all(dataDir, ec);
        std::fprintf(stderr, "sensitivity: wrote the band section of %s/performance.md\n", o.outDir.c_str());
        return 0;
    }

    // Every demodulator at the nominal rate and at the sondes' usual 9,615.4 bit/s.
    std::vector<Sweep> sweeps;
    std::uint64_t seed = 1;
    for (double ppm : {0.0, 1603.0}) {
        Sweep s;
        s.ppm = ppm;
        s.demods = demodsFor(ppm, true);
        runSweep(s, o, o.fromDb, o.toDb, seed++ * 1000000);
        sweeps.push_back(std::move(s));
    }
    // The Sync demodulator and its reference at the ends of the range it must cover.
    std::vector<Sweep> extra;
    for (double ppm : {-2500.0, 2500.0}) {
        Sweep s;
        s.ppm = ppm;
        s.demods = demodsFor(ppm, false);
        runSweep(s, o, std::max(o.fromDb, 9.0), std::min(o.toDb, 15.0), seed++ * 1000000);
        extra.push_back(std::move(s));
    }
    const std::vector<NoiseResult> noise = o.noiseSeconds > 0 ? noiseHour(o.noiseSeconds)
                                                              : std::vector<NoiseResult>{};

    for (const Sweep& s : sweeps)
        writeData(dataDir, s);
    SdrResults sdr;
    if (o.sdr) {
        SdrOptions so;
        so.maxBlocks = o.maxBlocks;
        so.jobs = o.jobs;
        so.noiseSeconds = o.noiseSeconds;
        so.quick = o.quick;
        sdr = runSdrSweeps(so);
    }
    BandResults band;
    if (o.band)
        band = runBandSweeps(bo);
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    writePage(fs::path(o.outDir) / "performance.md", o, sweeps, extra, noise, o.sdr ? &sdr : nullptr,
              o.band ? &band : nullptr, wall);
    if (o.plot && o.band && !plotBand(dataDir, fs::path(o.outDir) / "sensitivity-band.png", band))
        std::fprintf(stderr, "sensitivity: gnuplot failed on the band plot\n");
    if (o.plot && !plot(dataDir, fs::path(o.outDir) / "sensitivity.png", sweeps))
        std::fprintf(stderr,
                     "sensitivity: gnuplot failed; the page is written without a new plot\n");
    if (o.plot && o.sdr && !plotSdr(dataDir, fs::path(o.outDir) / "sensitivity-sdr.png", sdr))
        std::fprintf(stderr, "sensitivity: gnuplot failed on the SDR plot\n");
    fs::remove_all(dataDir, ec);
    std::fprintf(stderr, "sensitivity: wrote %s/performance.md in %.0f s\n", o.outDir.c_str(),
                 wall);
    return 0;
}
