// One decoder and tracker per sonde: two sondes interleaved block by block each keep a flight of
// their own (trusted, with their own prediction), a block reaches only its channel's fixes, and
// the lines and fixes of all channels come out in the order their blocks finished.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "sondes/sonde_decoders.h"
#include "synth/flight.h"
#include "synth/telemetry_blocks.h"

using nimbra::DemodBlock;
using nimbra::FlightFix;
using nimbra::SondeDecoders;

namespace {

constexpr std::int64_t kSecond = 48000;
constexpr std::int64_t kNever = std::numeric_limits<std::int64_t>::max();

// The GPS block of a sonde climbing at 5 m/s and drifting east, `t` seconds into its flight.
std::vector<std::uint8_t> block(std::uint16_t id, double lat, double lon, int t, double eastMps)
{
    nimbra::synth::GpsBlockFields g;
    g.transmitterId = id;
    g.timeCounter = static_cast<std::uint16_t>(1000 + t);
    g.latitudeRaw = nimbra::synth::degreesToRaw(lat);
    g.longitudeRaw = nimbra::synth::degreesToRaw(lon + eastMps * t / (111320.0 * std::cos(lat * M_PI / 180.0)));
    g.altitudeMm = static_cast<std::int32_t>((300.0 + 5.0 * t) * 1000.0);
    return nimbra::synth::buildGpsBlock(g);
}

DemodBlock demod(const std::vector<std::uint8_t>& bytes)
{
    DemodBlock b;
    b.bytes = bytes.data();
    b.length = static_cast<int>(bytes.size());
    return b;
}

SondeDecoders makeDecoders(bool keepTrack = true)
{
    return SondeDecoders([](nimbra::Decoder& d) { d.setClock([] { return std::int64_t{1765000000000}; }); }, {},
                         std::nullopt, keepTrack);
}

}  // namespace

TEST(SondeDecoders, TwoSondesInterleavedKeepAFlightEachAndNeverMeet)
{
    SondeDecoders both = makeDecoders();
    SondeDecoders alone = makeDecoders();
    for (int t = 0; t < 40; ++t) {
        const auto a = block(0x1A2B, 39.75, -76.98, t, 7.0);
        const auto b = block(0x2C3D, 40.20, -75.50, t, -4.0);
        both.feedBlock(1, demod(a), t * kSecond + 100, 120000.0);
        both.feedBlock(2, demod(b), t * kSecond + 200, 420000.0);
        alone.feedBlock(1, demod(a), t * kSecond + 100, 120000.0);
    }
    const SondeDecoders::Released out = both.release(kNever);
    const std::vector<FlightFix> reference = alone.release(kNever).fixes;
    ASSERT_EQ(out.fixes.size(), 80u);
    std::size_t k = 0;
    for (const FlightFix& f : out.fixes) {
        // Each channel's fixes are its own sonde's, trusted once three agree, and the first
        // sonde's flight (phase, prediction) is what it is without the second.
        EXPECT_EQ(f.record.transmitterId, f.channel == 1 ? 0x1A2Bu : 0x2C3Du);
        EXPECT_DOUBLE_EQ(f.offsetHz, f.channel == 1 ? 120000.0 : 420000.0);
        if (f.record.timeCounter >= 1003) {
            EXPECT_TRUE(f.trusted) << f.channel << " " << f.record.timeCounter;
        }
        if (f.channel == 1) {
            const FlightFix& r = reference.at(k++);
            EXPECT_EQ(f.trusted, r.trusted);
            EXPECT_EQ(f.phase, r.phase);
            EXPECT_EQ(f.prediction.valid, r.prediction.valid);
            EXPECT_DOUBLE_EQ(f.prediction.landing.latitude, r.prediction.landing.latitude);
            EXPECT_DOUBLE_EQ(f.prediction.landing.longitude, r.prediction.landing.longitude);
        }
    }
    // The track keeps each sonde's trusted fixes and only each sonde's latest predicted path.
    int paths = 0;
    for (const FlightFix& f : both.track())
        paths += !f.prediction.path.empty();
    EXPECT_LE(paths, 2);
    EXPECT_EQ(both.goodPackets(), 80);
}

TEST(SondeDecoders, ReleasesInTheOrderBlocksFinishedAndHoldsBackWhatMayStillBePreceded)
{
    SondeDecoders d = makeDecoders(false);
    // Channel 2's block finished first but is handed over last, as a channel with a longer
    // latency hands it over.
    d.feedBlock(1, demod(block(0x1111, 39.0, -77.0, 0, 0.0)), 5 * kSecond, 0.0);
    d.feedBlock(1, demod(block(0x1111, 39.0, -77.0, 1, 0.0)), 6 * kSecond, 0.0);
    d.feedBlock(2, demod(block(0x2222, 41.0, -75.0, 0, 0.0)), 5 * kSecond + 10, 0.0);
    SondeDecoders::Released early = d.release(5 * kSecond + 5);
    ASSERT_EQ(early.fixes.size(), 1u);
    EXPECT_EQ(early.fixes[0].record.transmitterId, 0x1111u);
    ASSERT_EQ(early.lines.size(), 1u);
    SondeDecoders::Released rest = d.release(kNever);
    ASSERT_EQ(rest.fixes.size(), 2u);
    EXPECT_EQ(rest.fixes[0].record.transmitterId, 0x2222u);
    EXPECT_EQ(rest.fixes[1].record.timeCounter, 1001u);
    EXPECT_EQ(rest.lines.size(), 2u);
    EXPECT_NE(rest.lines[0].find("2222"), std::string::npos);
}

TEST(SondeDecoders, ADroppedChannelKeepsItsCountsAndWhatItMade)
{
    SondeDecoders d = makeDecoders(false);
    auto bad = block(0x3333, 39.0, -77.0, 0, 0.0);
    bad.back() ^= 1;
    d.feedBlock(3, demod(block(0x3333, 39.0, -77.0, 0, 0.0)), kSecond, 0.0);
    d.feedBlock(3, demod(bad), 2 * kSecond, 0.0);
    d.drop(3);
    EXPECT_EQ(d.goodPackets(), 1);
    EXPECT_EQ(d.badPackets(), 1);
    EXPECT_EQ(d.release(kNever).fixes.size(), 1u);
    // A new sonde on the same channel number starts a flight of its own.
    d.feedBlock(3, demod(block(0x4444, 39.0, -77.0, 0, 0.0)), 3 * kSecond, 0.0);
    EXPECT_EQ(d.release(kNever).fixes.at(0).record.transmitterId, 0x4444u);
}
