// The receiver on bands as dongles deliver them: several sondes among a DC offset, an image, a
// strong spur and a crystal error; sondes that switch on and leave, rise out of the noise or
// were followed on wrong tones; and a band with nothing but a dongle's faults in it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>

#include "band_run.h"
#include "iq_signals.h"

using iqtest::bandSonde;
using iqtest::BandRun;
using iqtest::countersOf;
using iqtest::runBand;
using nimbra::iq::ChannelEvent;

namespace {

std::vector<ChannelEvent> eventsOf(const BandRun& run, ChannelEvent::Kind kind)
{
    std::vector<ChannelEvent> out;
    for (const ChannelEvent& e : run.events)
        if (e.kind == kind)
            out.push_back(e);
    return out;
}

// Every fix decoded was sent, and each channel only ever heard one transmitter.
void expectTruthful(const BandRun& run)
{
    std::set<std::pair<unsigned, unsigned>> sent;
    for (const auto& f : run.expected)
        sent.insert({f.transmitterId, f.timeCounter});
    for (const auto& f : run.fixes)
        EXPECT_TRUE(sent.count({f.record.transmitterId, f.record.timeCounter}))
            << "a fix that was never sent: " << std::hex << f.record.transmitterId << " " << std::dec << f.record.timeCounter;
    for (const auto& [channel, ids] : run.idsByChannel)
        EXPECT_EQ(std::set<unsigned>(ids.begin(), ids.end()).size(), 1u) << "channel " << channel;
}

// How many of a transmitter's expected fixes from `fromS` on were decoded.
std::pair<int, int> decodedFrom(const BandRun& run, unsigned id, double fromS)
{
    const std::vector<unsigned> got = countersOf(run.fixes, id);
    int want = 0, have = 0;
    for (const auto& f : run.expected)
        if (f.transmitterId == id && f.endTimeS >= fromS) {
            ++want;
            have += std::count(got.begin(), got.end(), f.timeCounter) > 0;
        }
    return {have, want};
}

}  // namespace

TEST(BandReceiver, EachChannelEstimatesItsSondesEbN0)
{
    for (double e : {9.0, 15.0}) {
        nimbra::synth::BandSettings band;
        band.sampleRate = 1200000.0;
        band.durationS = 6.0;
        band.ebN0Db = e;
        band.sondes = {bandSonde(0x1A2B, 120000.0)};
        const BandRun run = runBand(band);
        ASSERT_EQ(run.channels.size(), 1u);
        EXPECT_NEAR(run.channels[0].ebN0Db, e, 1.0);
    }
}

TEST(BandReceiver, TwoSondesOnADirtyBandAreBothDecodedWhereTheyAre)
{
    nimbra::synth::BandSettings band;
    band.sampleRate = 2400000.0;
    band.durationS = 14.0;
    band.ebN0Db = 14.0;
    band.ppm = -60.0;
    band.sondes = {bandSonde(0x1A2B, 120000.0), bandSonde(0x2C3D, 420000.0, -3.0)};
    band.spurs = {{320000.0, 20.0}};  // 100 kHz from the first sonde once the crystal has moved it
    nimbra::synth::DongleSettings dongle;
    dongle.dcI = dongle.dcQ = 0.02;
    dongle.iqGainDb = 0.5;
    dongle.iqPhaseDeg = 3.0;
    const BandRun run = runBand(band, dongle);

    // The crystal moves each sonde by 60 ppm of 1680 MHz and scales the rest.
    const double shift = 60e-6 * 1680e6;
    const auto up = eventsOf(run, ChannelEvent::Kind::TakenUp);
    ASSERT_EQ(up.size(), 2u);
    std::vector<double> where = {up[0].frequencyHz, up[1].frequencyHz};
    std::sort(where.begin(), where.end());
    EXPECT_NEAR(where[0], (120000.0 + shift) / (1.0 - 60e-6), 500.0);
    EXPECT_NEAR(where[1], (420000.0 + shift) / (1.0 - 60e-6), 500.0);
    for (const ChannelEvent& e : up)
        EXPECT_NEAR(e.deviationHz, 3600.0, 300.0);
    expectTruthful(run);
    for (unsigned id : {0x1A2Bu, 0x2C3Du}) {
        const auto [have, want] = decodedFrom(run, id, 2.0);
        EXPECT_EQ(have, want) << std::hex << id;
    }
    for (const auto& f : run.fixes)
        EXPECT_NEAR(f.offsetHz, f.record.transmitterId == 0x1A2B ? where[0] : where[1], 1000.0);
}

// A strong sonde of wide deviation shows as two humps with its keying's weaker sidebands between
// them: the humps are paired first, so its first blocks are decoded, at any level.
TEST(BandReceiver, AStrongWideSondeIsDecodedFromItsFirstBlocks)
{
    for (double e : {12.0, 25.0}) {
        nimbra::synth::BandSettings band;
        band.sampleRate = 2400000.0;
        band.durationS = 6.0;
        band.ebN0Db = e;
        band.sondes = {bandSonde(0x1A2B, -300000.0)};
        band.sondes[0].deviationHz = 80000.0;
        const BandRun run = runBand(band);
        const auto up = eventsOf(run, ChannelEvent::Kind::TakenUp);
        ASSERT_EQ(up.size(), 1u) << e << " dB";
        EXPECT_NEAR(up[0].deviationHz, 80000.0, 2000.0);
        expectTruthful(run);
        const auto [have, want] = decodedFrom(run, 0x1A2B, 1.5);
        EXPECT_GE(have, want - (e < 20.0 ? 1 : 0)) << e << " dB";
    }
}

// Keyed without a pause, each hump of a wide sonde is a tone switched on and off at the bit
// rate, which can pass as a narrow pair on its own: the pair of humps is preferred, and neither
// hump becomes a sonde of its own, with the sonde's centre on the tuning (its humps each other's
// mirror) or beside it.
TEST(BandReceiver, TheHumpsOfAWideSondeKeyedWithoutPauseAreOneSonde)
{
    for (double offset : {0.0, -300000.0}) {
        for (std::uint64_t seed : {1u, 3u}) {
            nimbra::synth::IqChannelSettings c;
            c.sampleRate = 2400000.0;
            c.deviationHz = 80000.0;
            c.offsetHz = offset;
            c.ebN0Db = 12.0;
            c.seed = seed;
            nimbra::synth::IqChannel channel(c);
            nimbra::iq::BandReceiver receiver(c.sampleRate);
            std::vector<ChannelEvent> up;
            receiver.setEventSink([&](const ChannelEvent& e) {
                if (e.kind == ChannelEvent::Kind::TakenUp)
                    up.push_back(e);
            });
            for (int second = 0; second < 3; ++second) {
                const auto z = channel.render(iqtest::randomBits(9600, seed * 10 + std::uint64_t(second)), 5.0);
                receiver.process(z.data(), z.size());
            }
            ASSERT_EQ(up.size(), 1u) << offset << " Hz, seed " << seed << ": " << up.back().deviationHz;
            EXPECT_NEAR(up[0].frequencyHz, offset, 1000.0);
            EXPECT_NEAR(up[0].deviationHz, 80000.0, 1000.0);
        }
    }
}

TEST(BandReceiver, SondesSwitchingOnAreTakenUpAndThoseThatLeaveAreLost)
{
    nimbra::synth::BandSettings band;
    band.sampleRate = 1200000.0;
    band.durationS = 15.0;
    band.ebN0Db = 13.0;
    band.sondes = {bandSonde(0x1111, -250000.0), bandSonde(0x2222, 300000.0)};
    band.sondes[1].onS = 3.3;
    band.sondes[1].offS = 9.0;
    nimbra::iq::ReceiverSettings settings;
    settings.lostAfterS = 3.0;
    const BandRun run = runBand(band, {}, settings);

    const auto up = eventsOf(run, ChannelEvent::Kind::TakenUp);
    ASSERT_EQ(up.size(), 2u);
    EXPECT_LT(up[0].timeS, 1.5);
    EXPECT_GT(up[1].timeS, 3.3);
    EXPECT_LT(up[1].timeS, 3.3 + 2.0) << "taken up within two seconds of switching on";
    const auto lost = eventsOf(run, ChannelEvent::Kind::Lost);
    ASSERT_EQ(lost.size(), 1u);
    EXPECT_EQ(lost[0].channel, up[1].channel);
    EXPECT_NEAR(lost[0].timeS, 9.0 + settings.lostAfterS, 1.0);
    expectTruthful(run);
    EXPECT_EQ(decodedFrom(run, 0x1111, 1.5).first, decodedFrom(run, 0x1111, 1.5).second);
    const auto [have, want] = decodedFrom(run, 0x2222, 3.3 + 1.5);
    EXPECT_EQ(have, want);
}

TEST(BandReceiver, ASondeRisingOutOfTheNoiseIsFollowedOnItsRightTones)
{
    nimbra::synth::BandSettings band;
    band.sampleRate = 1200000.0;
    band.durationS = 16.0;
    band.ebN0Db = 13.0;
    band.sondes = {bandSonde(0x3333, -140000.0)};
    band.sondes[0].riseDb = 20.0;
    band.sondes[0].riseS = 12.0;
    const BandRun run = runBand(band);
    expectTruthful(run);
    // Above 10 dB from 11.4 s on: every fix from a second later.
    const auto [have, want] = decodedFrom(run, 0x3333, 12.4);
    EXPECT_EQ(have, want);
    EXPECT_EQ(run.takenUp(), 1);
}

TEST(BandReceiver, AChannelOnWrongTonesAcquiresTheRightOnesAgain)
{
    nimbra::synth::BandSettings band;
    band.sampleRate = 960000.0;
    band.durationS = 14.0;
    band.ebN0Db = 14.0;
    band.sondes = {bandSonde(0x4444, 50000.0)};
    // Half the deviation, centred on the mark tone's partner: the lock that used to stick.
    const BandRun run = runBand(band, {}, {}, [](nimbra::iq::BandReceiver& r) {
        EXPECT_GT(r.addChannel(50000.0 - 1800.0, 1800.0), 0);
    });
    const auto again = eventsOf(run, ChannelEvent::Kind::Reacquired);
    ASSERT_GE(again.size(), 1u);
    EXPECT_NEAR(again.back().deviationHz, 3600.0, 300.0);
    EXPECT_NEAR(again.back().frequencyHz, 50000.0, 400.0);
    EXPECT_LT(again.front().timeS, 6.0);
    expectTruthful(run);
    const auto [have, want] = decodedFrom(run, 0x4444, 7.0);
    EXPECT_EQ(have, want);
}

TEST(BandReceiver, AStrongSondeAndItsImageAreOneSonde)
{
    nimbra::synth::BandSettings band;
    band.sampleRate = 960000.0;
    band.durationS = 8.0;
    band.ebN0Db = 40.0;
    band.sondes = {bandSonde(0x5555, 180000.0)};
    nimbra::synth::DongleSettings dongle;
    dongle.iqGainDb = 1.0;
    dongle.iqPhaseDeg = 5.0;
    const BandRun run = runBand(band, dongle);
    EXPECT_EQ(run.takenUp(), 1);
    expectTruthful(run);
}

TEST(BandReceiver, ADongleFaultsAloneNeverMakeAChannel)
{
    nimbra::synth::BandSettings band;
    band.sampleRate = 2400000.0;
    band.durationS = 20.0;
    band.ebN0Db = 10.0;  // the noise a 0 dB sonde at 10 dB would see
    band.spurs = {{-610000.0, 10.0}, {150000.0, 20.0}, {900000.0, 30.0}};
    nimbra::synth::DongleSettings dongle;
    dongle.dcI = 0.03;
    dongle.dcQ = -0.02;
    dongle.iqGainDb = 0.5;
    dongle.iqPhaseDeg = 3.0;
    const BandRun run = runBand(band, dongle);
    EXPECT_EQ(run.takenUp(), 0);
    EXPECT_EQ(run.blocks, 0);
}
