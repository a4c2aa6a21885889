// The band receiver's part of the sensitivity sweep: what it is held to on bands as dongles
// deliver them, all at 2.4 MS/s quantised to unsigned 8 bits as rtl_sdr gives it.
//
//   - sensitivity on a dirty band: a DC offset of 2 % of full scale, I/Q imbalance of 0.5 dB and
//     3 degrees, a crystal 60 ppm off (alternately fast and slow), a spur 20 dB above the sonde
//     100 kHz from it, a second sonde 3 dB weaker 300 kHz away; each sonde's block success
//     against its own Eb/N0, beside the same receiver on a clean band with the sonde alone;
//   - acquisition: sondes switching on at a random time, offset and crystal error, and sondes
//     rising 20 dB over 30 s: whether the channel's tones were right, the delay from the first
//     block above the 90 % level to the first fix, trials without a fix;
//   - false channels: an hour of a band with a strong DC offset, three spurs up to 30 dB above a
//     sonde's level and no sonde;
//   - wrong blocks: good checksums on bytes that were not sent (or were sent by the other
//     sonde), over everything above.
//
// In:  the sweep's options (blocks per point, trials, threads, the false-channel run's length).
// Out: results and the Markdown section of docs/performance.md, with its plot.
#pragma once

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "sensitivity_sdr.h"

namespace sensitivity {

struct AcquisitionTrials {
    std::string kind;
    int trials = 0;
    int rightTones = 0;       // a channel on the sonde's frequency and deviation at the end
    int extraChannels = 0;    // channels taken up more than 20 kHz from the sonde
    int withoutFix = 0;       // no fix although the signal stood above the 90 % level
    int late = 0;             // first fix more than 3 s after the first block above that level
    std::vector<double> delays;  // seconds, per trial with a fix
    int wrong = 0;
    double level90Db = 0.0;   // the 90 % level the trials were judged against
};

struct FalseChannelRun {
    double seconds = 0.0;
    int channels = 0;
    int good = 0, bad = 0;
};

struct BandResults {
    std::vector<Curve> curves;  // clean, dirty (first sonde), dirty (second sonde)
    AcquisitionTrials switchOn, rising;
    FalseChannelRun falseChannels;
    int wrongBlocks = 0;
    int blocksJudged = 0;
    double cpuSeconds = 0.0, signalSeconds = 0.0;  // the receiver's, over the curves
};

struct BandOptions {
    int maxBlocks = 1100;
    int trials = 200;
    int jobs = 1;
    double falseChannelSeconds = 3600.0;
    bool quick = false;
};

BandResults runBandSweeps(const BandOptions& options);
void writeBandSection(std::ostream& page, const BandResults& results);
bool plotBand(const std::filesystem::path& dataDir, const std::filesystem::path& png, const BandResults& results);

}  // namespace sensitivity
