// What every part of the sensitivity sweep shares: the 3,000-bit test block, the batch rule, the
// theoretical curves and the reading of 50 % and 90 % points.
#pragma once

#include <time.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "synth/random.h"
#include "synth/telemetry_blocks.h"

namespace sensitivity {

using Block = std::vector<std::uint8_t>;

constexpr int kPayload = 286;            // L: block of 298 bytes, 300 characters with sync
constexpr int kLineBitsPerBlock = 3000;  // what the theoretical curves count
constexpr int kIdleBits = 20;
constexpr int kBatch = 50;
constexpr int kMinBlocks = 100;
constexpr int kMaxBlocks = 1100;
constexpr double kHalfWidth = 0.03;  // success known to +-3 % (95 % interval) before a point ends

// A GPS header (identifier 0x4E21 unless told, the block's index as its time counter) around a
// random payload of kPayload bytes: every data bit is a fair coin.
inline Block makeBlock(nimbra::synth::Random& random, int index, std::uint16_t transmitter = 0x4E21)
{
    nimbra::synth::GpsBlockFields header;
    header.transmitterId = transmitter;
    header.timeCounter = static_cast<std::uint16_t>(index);
    Block payload(kPayload);
    for (std::uint8_t& byte : payload)
        byte = static_cast<std::uint8_t>(random.next() >> 56);
    return nimbra::synth::buildGpsBlock(header, payload);
}

// CPU time of the calling thread, so that the speed figures hold on a busy machine too.
inline double threadSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + 1e-9 * double(ts.tv_nsec);
}

inline double halfWidth(int successes, int n)
{
    const double p = double(successes) / n;
    return 1.96 * std::sqrt(p * (1.0 - p) / n);
}

inline double qFunction(double z) { return 0.5 * std::erfc(z / std::sqrt(2.0)); }
// Antipodal signalling on a matched filter: the best any detector of single bits can do.
inline double matchedLimit(double db)
{
    return std::pow(1.0 - qFunction(std::sqrt(2.0 * std::pow(10.0, db / 10.0))), kLineBitsPerBlock);
}
// Non-coherent orthogonal FSK.
inline double nonCoherent(double db)
{
    return std::pow(1.0 - 0.5 * std::exp(-0.5 * std::pow(10.0, db / 10.0)), kLineBitsPerBlock);
}

// Eb/N0 where a rising success function first reaches `target` (bisection).
template <typename F>
double crossing(F f, double target)
{
    double lo = 0.0, hi = 30.0;
    for (int i = 0; i < 60; ++i) {
        const double mid = 0.5 * (lo + hi);
        (f(mid) < target ? lo : hi) = mid;
    }
    return 0.5 * (lo + hi);
}

// Eb/N0 where measured success (points in rising Eb/N0) first reaches `target` and stays there,
// interpolated linearly between points; NaN when it never does.
inline double measuredCrossing(const std::vector<double>& ebN0Db, const std::vector<double>& success,
                               double target)
{
    std::size_t first = success.size();
    for (std::size_t i = success.size(); i-- > 0;) {
        if (success[i] < target)
            break;
        first = i;
    }
    if (first == success.size())
        return NAN;
    if (first == 0)
        return ebN0Db[0];
    const double p0 = success[first - 1], p1 = success[first];
    return ebN0Db[first - 1] + (target - p0) / (p1 - p0) * (ebN0Db[first] - ebN0Db[first - 1]);
}

// The start of a gnuplot script for `panels` plots side by side of block success against Eb/N0,
// with the theory curves defined as mf(x) (matched-filter limit) and nc(x) (non-coherent FSK).
inline void gnuplotHeader(std::ostream& g, const std::string& png, int width, int height, std::size_t panels)
{
    g << "set terminal pngcairo noenhanced size " << width << "," << height << " font 'sans,10'\n"
      << "set output '" << png << "'\n"
      << "set multiplot layout 1," << panels << "\n"
      << "set grid\nset key bottom right\nset yrange [0:1.02]\n"
      << "set xlabel 'Eb/N0 (dB)'\nset ylabel 'blocks received intact'\n"
      << "Q(z) = 0.5 * erfc(z / sqrt(2))\n"
      << "lin(e) = 10 ** (e / 10.0)\n"
      << "mf(e) = (1 - Q(sqrt(2 * lin(e)))) ** " << kLineBitsPerBlock << "\n"
      << "nc(e) = (1 - exp(-lin(e) / 2) / 2) ** " << kLineBitsPerBlock << "\n"
      << "set samples 400\n";
}

// The plot command's start: the two theory curves.
inline const char* theoryPlot()
{
    return "plot mf(x) title 'matched-filter limit' lw 2 dt 2 lc rgb 'black', "
           "nc(x) title 'non-coherent FSK' lw 2 dt 3 lc rgb 'gray40'";
}

// Ends the script `g` (written to `script`) and runs gnuplot on it; false when gnuplot failed.
inline bool runGnuplot(std::ofstream& g, const std::string& script)
{
    g << "unset multiplot\n";
    g.close();
    const std::string cmd = "gnuplot '" + script + "'";
    return std::system(cmd.c_str()) == 0;
}

inline std::string db(double v, double lastDb)
{
    if (std::isnan(v))
        return "> " + std::to_string(static_cast<int>(lastDb));
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f", v);
    return buf;
}

}  // namespace sensitivity
