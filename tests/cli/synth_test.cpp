// The synthesizer against hand-worked values: block layouts, the checksum, 8N1 framing, the bit
// clock at whole and fractional bit lengths, the noise level for a stated Eb/N0, the low-pass,
// PCM rounding and the WAVE header.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "block/crc16.h"
#include "synth/audio_channel.h"
#include "synth/flight.h"
#include "synth/modulator.h"
#include "synth/serial_line.h"
#include "synth/telemetry_blocks.h"
#include "synth/wav_file.h"

namespace {

using namespace nimbra::synth;

// Runs of equal consecutive values: {value, length} pairs.
std::vector<std::pair<float, int>> runs(const std::vector<float>& v)
{
    std::vector<std::pair<float, int>> r;
    for (float x : v) {
        if (r.empty() || r.back().first != x)
            r.push_back({x, 0});
        ++r.back().second;
    }
    return r;
}

TEST(SynthBlocks, ChecksumAndGpsLayout)
{
    GpsBlockFields f;
    f.transmitterId = 0x1A2B;
    f.timeCounter = 1234;
    f.latitudeRaw = 0x40000000;                          // 90 degrees
    f.longitudeRaw = static_cast<std::int32_t>(0xC0000000u);  // -90 degrees
    f.altitudeMm = 220000;                                // 0x00035B60
    f.numSatellites = 8;
    const std::vector<std::uint8_t> b = buildGpsBlock(f);
    ASSERT_EQ(b.size(), 148u);  // blockLength 32 + 13 x 8 = 136, plus 12
    const std::uint8_t head[] = {'$', 'R', 'T', '1', 0x1A, 0x2B, 0x04, 0xD2, 0x00, 0x88};
    EXPECT_EQ(std::memcmp(b.data(), head, sizeof head), 0);
    const std::uint8_t position[] = {0x40, 0, 0, 0, 0xC0, 0, 0, 0, 0x00, 0x03, 0x5B, 0x60};
    EXPECT_EQ(std::memcmp(b.data() + 18, position, sizeof position), 0);
    EXPECT_EQ(b[41], 8);
    // The checksum closes the block: shifting it in too leaves a zero register.
    EXPECT_EQ(nimbra::crc16Register(b.data(), b.size()), 0);

    std::vector<std::uint8_t> bad = b;
    corruptChecksum(bad);
    EXPECT_NE(nimbra::crc16Register(bad.data(), bad.size()), 0);
    EXPECT_EQ(bad.size(), b.size());

    f.numSatellites = 0;
    EXPECT_EQ(buildGpsBlock(f).size(), 44u);

    // A length field that lies, and any payload in a GPS header.
    f.lengthField = 301;
    const std::vector<std::uint8_t> lying = buildGpsBlock(f);
    EXPECT_EQ(lying.size(), 44u);
    EXPECT_EQ(lying[8], 0x01);
    EXPECT_EQ(lying[9], 0x2D);
    f.lengthField = -1;
    const std::vector<std::uint8_t> any = buildGpsBlock(f, {1, 2, 3});
    ASSERT_EQ(any.size(), 15u);
    EXPECT_EQ(any[9], 3);
    EXPECT_EQ(any[12], 3);
}

TEST(SynthBlocks, PtuLayout)
{
    PtuBlockFields f;
    f.frameCounter = 0x0102;
    f.channels[0] = {0x02, 0x1234};
    f.channels[12] = {0x1E, 0xABCD};
    for (int i = 0; i < 16; ++i)
        f.calibration[i] = static_cast<std::uint8_t>(0xA0 + i);
    f.length = 60;
    const std::vector<std::uint8_t> b = buildPtuBlock(f);
    ASSERT_EQ(b.size(), 72u);  // L + 12
    EXPECT_EQ(b[0], '$');
    EXPECT_EQ(b[1], 'R');
    EXPECT_EQ(b[2], 'M');
    EXPECT_EQ(b[8], 0);   // high byte of the 16-bit length
    EXPECT_EQ(b[9], 60);  // L
    EXPECT_EQ(b[11], 0x02);
    EXPECT_EQ(b[12], 0x12);
    EXPECT_EQ(b[13], 0x34);
    EXPECT_EQ(b[11 + 36], 0x1E);
    EXPECT_EQ(b[12 + 36], 0xAB);
    EXPECT_EQ(b[13 + 36], 0xCD);
    EXPECT_EQ(b[50], 0xA0);
    EXPECT_EQ(b[65], 0xAF);
    EXPECT_EQ(nimbra::crc16Register(b.data(), b.size()), 0);

    // Shorter than the channels and calibration bytes: cut off after L bytes.
    f.length = 20;
    const std::vector<std::uint8_t> cut = buildPtuBlock(f);
    ASSERT_EQ(cut.size(), 32u);
    EXPECT_EQ(cut[11], 0x02);
    EXPECT_EQ(nimbra::crc16Register(cut.data(), cut.size()), 0);
    // The byte before L is the high byte of the 16-bit length field.
    f.length = 60;
    f.lengthHigh = 0x01;
    EXPECT_EQ(buildPtuBlock(f)[8], 0x01);
    EXPECT_EQ(buildPtuBlock(f).size(), 72u);
}

TEST(SynthSerial, CharacterFramingAndLevels)
{
    SerialLine line;
    line.addCharacter(0x24);
    const std::vector<std::uint8_t> expected = {0, 0, 0, 1, 0, 0, 1, 0, 0, 1};
    EXPECT_EQ(line.bits(), expected);

    // 0x24 at 5 samples per bit after idle: high 15 (start bit, bits 0 and 1), low 5, high 10,
    // low 5, high 10, low for the stop bit and the idle line after it.
    SerialLine framed;
    framed.addIdle(2);
    framed.addCharacter(0x24);
    framed.addIdle(1);
    const std::vector<float> v = modulateLevels(framed.bits(), 5.0);
    ASSERT_EQ(v.size(), 65u);
    const std::vector<std::pair<float, int>> expectedRuns = {
        {-1.0f, 10}, {1.0f, 15}, {-1.0f, 5}, {1.0f, 10}, {-1.0f, 5}, {1.0f, 10}, {-1.0f, 10}};
    EXPECT_EQ(runs(v), expectedRuns);
}

TEST(SynthSerial, FractionalBitClockDoesNotDrift)
{
    // 4.5 samples per bit: bits end after the 5th, 9th, 14th and 18th samples.
    const std::vector<std::uint8_t> alternate = {0, 1, 0, 1};
    const std::vector<std::pair<float, int>> expected = {{1.0f, 5}, {-1.0f, 4}, {1.0f, 5}, {-1.0f, 4}};
    EXPECT_EQ(runs(modulateLevels(alternate, 4.5)), expected);

    // 4.992: 1000 bits take exactly 4992 samples, eight of the bits 4 samples long, the rest 5.
    std::vector<std::uint8_t> bits(1000);
    for (std::size_t i = 0; i < bits.size(); ++i)
        bits[i] = i % 2;
    const std::vector<float> v = modulateLevels(bits, 4.992);
    EXPECT_EQ(v.size(), 4992u);
    int fours = 0, fives = 0;
    for (const auto& r : runs(v)) {
        fours += r.second == 4;
        fives += r.second == 5;
    }
    EXPECT_EQ(fours, 8);
    EXPECT_EQ(fives, 992);
    EXPECT_EQ(samplesForBits(625, 4.992), 3120u);
}

TEST(SynthAudio, NoiseFollowsEbN0AndSeed)
{
    // Eb/N0 = 10 dB at 5 samples per bit and A = 1000: sigma = 1000 x sqrt(5 / 20) = 500.
    EXPECT_NEAR(noiseSigmaFor(1000.0, 5.0, 10.0), 500.0, 1e-9);

    std::vector<std::uint8_t> bits(40000, 1);  // idle line: level -A
    AudioChannelSettings s;
    s.amplitude = 1000.0;
    s.ebN0Db = 10.0;
    s.seed = 7;
    AudioChannel channel(s);
    const std::vector<float> v = channel.render(bits, 5.0);
    ASSERT_EQ(v.size(), 200000u);
    double sum = 0.0, sumSq = 0.0;
    for (float x : v) {
        const double n = static_cast<double>(x) + 1000.0;
        sum += n;
        sumSq += n * n;
    }
    const double mean = sum / v.size();
    EXPECT_NEAR(mean, 0.0, 5.0);
    EXPECT_NEAR(std::sqrt(sumSq / v.size() - mean * mean), 500.0, 5.0);

    AudioChannel same(s);
    EXPECT_EQ(same.render(bits, 5.0), v);
    s.seed = 8;
    AudioChannel other(s);
    EXPECT_NE(other.render(bits, 5.0), v);

    // Inversion flips the levels.
    AudioChannelSettings clean;
    clean.amplitude = 1000.0;
    clean.invert = true;
    AudioChannel inverted(clean);
    EXPECT_EQ(inverted.render({1, 0}, 2.0), (std::vector<float>{1000.0f, 1000.0f, -1000.0f, -1000.0f}));
}

TEST(SynthAudio, LowPass)
{
    auto gainAt = [](double hz) {
        std::vector<float> v(48000);
        for (std::size_t i = 0; i < v.size(); ++i)
            v[i] = static_cast<float>(std::sin(2.0 * 3.14159265358979 * hz * i / 48000.0));
        lowPassInPlace(v, 7000.0);
        float peak = 0.0f;
        for (std::size_t i = v.size() / 2; i < v.size(); ++i)
            peak = std::max(peak, std::fabs(v[i]));
        return static_cast<double>(peak);
    };
    EXPECT_NEAR(gainAt(1000.0), 1.0, 0.01);
    EXPECT_NEAR(gainAt(7000.0), std::sqrt(0.5), 0.02);  // -3 dB at the cut-off
    EXPECT_LT(gainAt(20000.0), 0.03);

    std::vector<float> constant(100, 1234.0f);
    lowPassInPlace(constant, 7000.0);
    for (float x : constant)
        EXPECT_NEAR(x, 1234.0f, 1e-3f);
}

TEST(SynthOutput, PcmRoundingAndWaveHeader)
{
    std::size_t clipped = 0;
    const std::vector<std::int16_t> pcm = toPcm16({1.5f, 2.5f, -1.5f, 40000.0f, -40000.0f, 32767.4f}, &clipped);
    EXPECT_EQ(pcm, (std::vector<std::int16_t>{2, 2, -2, 32767, -32768, 32767}));
    EXPECT_EQ(clipped, 2u);

    const std::vector<std::uint8_t> h = waveHeaderMono16(1000, 48000);
    const std::uint8_t expected[44] = {'R', 'I', 'F', 'F', 0xF4, 0x07, 0, 0,  // 36 + 2000
                                       'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0,
                                       1, 0, 1, 0,                 // PCM, mono
                                       0x80, 0xBB, 0, 0,           // 48000
                                       0x00, 0x77, 0x01, 0,        // 96000 bytes/s
                                       2, 0, 16, 0,                // frame 2 bytes, 16 bits
                                       'd', 'a', 't', 'a', 0xD0, 0x07, 0, 0};  // 2000
    ASSERT_EQ(h.size(), 44u);
    EXPECT_EQ(std::memcmp(h.data(), expected, 44), 0);
}

TEST(SynthFlight, ExpectedValuesAndTimeline)
{
    ExpectedFix fix;
    fix.transmitterId = 0x1A2B;
    fix.timeCounter = 1234;
    fix.latitudeRaw = static_cast<std::int32_t>(std::llround(39.75 * 2147483648.0 / 180.0));
    fix.longitudeRaw = static_cast<std::int32_t>(std::llround(-76.98 * 2147483648.0 / 180.0));
    fix.altitudeMm = 220000;
    EXPECT_EQ(expectedLineTail(fix), "1A2B 1234 39.75000N 76.98000W 220");
    EXPECT_EQ(formatLatitude(0x40000000), "90.00000N");
    EXPECT_EQ(formatLatitude(static_cast<std::int32_t>(0xC0000000u)), "90.00000S");
    EXPECT_EQ(formatLongitude(0), "0.00000E");
    EXPECT_EQ(formatAltitude(220499), "220");
    EXPECT_EQ(formatAltitude(220501), "221");

    FlightSettings s;
    s.gpsBlocks = 3;
    s.corruptEvery = 2;
    const Flight f = makeFlight(s);
    ASSERT_EQ(f.fixes.size(), 3u);
    EXPECT_EQ(f.gpsBlocks, 3);
    EXPECT_EQ(f.ptuBlocks, 3);
    EXPECT_EQ(f.corruptedBlocks, 1);
    EXPECT_TRUE(f.fixes[0].crcGood);
    EXPECT_FALSE(f.fixes[1].crcGood);
    EXPECT_EQ(f.fixes[2].timeCounter, 1202);
    EXPECT_EQ(f.fixes[2].altitudeMm, 230000);  // 220 m + 2 s x 5 m/s
    EXPECT_TRUE(f.fixes[0].hasPtu);             // the PTU block comes first each second
    // GPS block i starts 0.25 + 0.5 + i s into the recording and lasts 150 characters.
    const double blockSeconds = 150 * 10 * 4.992 / 48000.0;
    EXPECT_NEAR(f.fixes[1].endTimeS, 1.75 + blockSeconds, 1e-3);
    // The recording ends with two sync characters at 0.25 + 3 s, then two idle bits.
    EXPECT_NEAR(samplesForBits(f.line.size(), 4.992) / 48000.0, 3.25 + 22 * 4.992 / 48000.0, 1e-3);
}

}  // namespace
