// Short flights for the tests of the block demodulators and the decoder: GPS and PTU blocks in
// turn on a serial line at a sonde's bit rate, their audio, and single bits made weak and wrong.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "synth/audio_channel.h"
#include "synth/modulator.h"
#include "synth/random.h"
#include "synth/serial_line.h"
#include "synth/telemetry_blocks.h"

namespace nimbra::testing {

using synth::AudioChannel;
using synth::AudioChannelSettings;
using synth::GpsBlockFields;
using synth::PtuBlockFields;
using synth::Random;
using synth::SerialLine;

constexpr int kIdleBits = 20;

using Block = std::vector<std::uint8_t>;

// Bit length in samples of a sonde whose bit rate is `ppm` parts per million above 9,600 bit/s.
inline double samplesPerBit(double ppm) { return 5.0 / (1.0 + ppm * 1e-6); }

// A short flight: GPS and PTU blocks in turn, each after idle time and its two sync characters.
inline std::vector<Block> flightBlocks(int count)
{
    std::vector<Block> blocks;
    for (int i = 0; i < count; ++i) {
        if (i % 2 == 0) {
            GpsBlockFields gps;
            gps.transmitterId = 0x1234;
            gps.timeCounter = static_cast<std::uint16_t>(100 + i);
            gps.latitudeRaw = 474000000 + i * 1000;
            gps.longitudeRaw = -919000000;
            gps.altitudeMm = 1500000 + i * 5000;
            gps.numSatellites = 6 + i % 4;
            blocks.push_back(synth::buildGpsBlock(gps));
        } else {
            PtuBlockFields ptu;
            ptu.frameCounter = static_cast<std::uint16_t>(i);
            for (std::size_t c = 0; c < ptu.channels.size(); ++c)
                ptu.channels[c].count = static_cast<std::uint16_t>(20000 + 311 * c + i);
            blocks.push_back(synth::buildPtuBlock(ptu));
        }
    }
    return blocks;
}

inline SerialLine lineFor(const std::vector<Block>& blocks)
{
    SerialLine line;
    for (const Block& b : blocks) {
        line.addIdle(kIdleBits);
        synth::sendBlock(line, b);
    }
    line.addIdle(kIdleBits);
    return line;
}

// Line bit of data bit `bit` of byte `byteIndex` of the only block of a one-block line.
inline std::size_t lineBitOf(int byteIndex, int bit) { return kIdleBits + (2 + byteIndex) * 10 + 1 + bit; }

// The audio of a line with levels +-10,000, a gentle receiver low-pass and noise at `ebN0Db`.
inline std::vector<float> audioOf(const SerialLine& line, double spb, double ebN0Db, bool invert,
                           std::uint64_t seed)
{
    AudioChannelSettings settings;
    settings.ebN0Db = ebN0Db;
    settings.lowPassHz = 7000.0;
    settings.invert = invert;
    settings.seed = seed;
    return AudioChannel(settings).render(line.bits(), spb);
}

// Turns data bit `bit` of byte `byteIndex` into a weak decision of the wrong sign: its samples
// are set to 0.3 of the opposite level.
inline void weakenAndFlip(std::vector<float>& levels, double spb, int byteIndex, int bit)
{
    const std::size_t k = lineBitOf(byteIndex, bit);
    const auto first = synth::samplesForBits(k, spb);
    const auto end = synth::samplesForBits(k + 1, spb);
    for (std::size_t n = first; n < end; ++n)
        levels[n] = -0.3f * levels[n];
}

// One GPS block, clean levels of +-10,000 with a little noise (Eb/N0 30 dB) so that no two bits
// look exactly alike, with some bits made weak and wrong.
inline std::vector<float> blockWithWeakBits(const Block& block,
                                     const std::vector<std::pair<int, int>>& bad)
{
    const double spb = samplesPerBit(1603);
    const SerialLine line = lineFor({block});
    std::vector<float> levels = synth::modulateLevels(line.bits(), spb);
    for (auto [byteIndex, bit] : bad)
        weakenAndFlip(levels, spb, byteIndex, bit);
    Random random(77);
    const double sigma = synth::noiseSigmaFor(10000.0, spb, 30.0);
    for (float& v : levels)
        v = static_cast<float>(10000.0 * double(v) + sigma * random.gaussian());
    return levels;
}

}  // namespace nimbra::testing
