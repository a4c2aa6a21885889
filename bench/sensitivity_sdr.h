// The SDR receiver's part of the sensitivity sweep, and the Sync demodulator on the plain audio
// channel: the cases the SDR input is held to, each a set of curves of block success against
// Eb/N0 on 3,000-bit blocks, with the matched-filter and non-coherent FSK curves beside them.
//
//   (a) deviation 3.6 kHz, IQ at 192 kS/s, the carrier at 0 and +20 kHz;
//   (b) deviation 80 kHz, IQ at 2.4 MS/s, the carrier at 0 and -300 kHz, against the Sync
//       demodulator on discriminator audio through a 200 kHz IF (the radio channel model);
//   (c) as (a) at +20 kHz, the carrier drifting at 300 Hz/s (between +10 and +30 kHz);
//   the Sync demodulator on the synthesizer's audio channel (two levels and white Gaussian
//   noise, 4.992 samples per bit): the share of a flight's GPS fixes it decodes;
//   an hour of IQ noise (2.4 MS/s, quantised to 8 bits as rtl_sdr delivers it).
//
// In:  the sweep's options (blocks per point, threads, the length of the noise run).
// Out: results, the Markdown sections of docs/performance.md and the plot's data and script.
#pragma once

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

namespace sensitivity {

struct CurvePoint {
    double ebN0Db = 0.0;
    int blocks = 0;
    int good = 0;   // exactly the bytes sent
    int wrong = 0;  // a good checksum on other bytes
    double cpuSeconds = 0.0;     // the receiver's, not the signal's making
    double signalSeconds = 0.0;
    double success() const { return blocks > 0 ? double(good) / blocks : 0.0; }
};

struct Curve {
    std::string name;
    std::vector<CurvePoint> points;
};

struct SdrCase {
    std::string key;    // "a", "b", "c"
    std::string title;
    std::vector<Curve> curves;
};

struct FixRate {
    double ebN0Db = 0.0;
    long sent = 0;
    long decoded = 0;
    long wrong = 0;
    long repaired = 0;
};

struct NoiseRun {
    std::string input;
    double seconds = 0.0;
    int locks = 0;
    int good = 0;
    int bad = 0;
};

struct SdrResults {
    std::vector<SdrCase> cases;
    std::vector<FixRate> audioFixes;
    std::vector<NoiseRun> noise;
    int maxBlocks = 0;  // the cap on blocks per point this run had
};

struct SdrOptions {
    int maxBlocks = 1100;
    int jobs = 1;
    double noiseSeconds = 3600.0;
    bool quick = false;  // a whole dB between points, for trying the sweep out
};

SdrResults runSdrSweeps(const SdrOptions& options);
void writeSdrSections(std::ostream& page, const SdrResults& results);
// Writes the curves' data into `dataDir` and draws `png` with gnuplot; false when gnuplot failed.
bool plotSdr(const std::filesystem::path& dataDir, const std::filesystem::path& png, const SdrResults& results);

}  // namespace sensitivity
