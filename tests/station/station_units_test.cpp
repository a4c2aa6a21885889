// The moving and pointing station's decisions, without gpsd or rotctld: distances and bearings,
// the GPS glitch filter, when the rotator moves, which sonde it follows, when the chase car is
// uploaded, and the addresses the user types. The real gpsd and rotctld are in
// tests/cli/test_chase.py.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "outputs/chase_car_schedule.h"
#include "station/followed_sonde.h"
#include "station/gpsd_client.h"
#include "station/position_filter.h"
#include "station/rotator_policy.h"
#include "station/rotctld_client.h"
#include "station/station_fix.h"

namespace nimbra::station {
namespace {

StationFix at(double lat, double lon, double timeS, double speedMps = 0.0)
{
    StationFix f;
    f.latitude = lat;
    f.longitude = lon;
    f.timeS = timeS;
    f.speedMps = speedMps;
    return f;
}

TEST(StationGeometry, DistanceAndBearingAgreeWithHandWorkedValues)
{
    // One degree of latitude on a sphere of 6371008.8 m: 6371008.8 * pi / 180.
    EXPECT_NEAR(distanceM(10.0, 20.0, 11.0, 20.0), 111195.08, 0.01);
    EXPECT_NEAR(distanceM(0.0, 0.0, 0.0, 1.0), 111195.08, 0.01);
    EXPECT_DOUBLE_EQ(distanceM(45.0, 7.0, 45.0, 7.0), 0.0);
    EXPECT_NEAR(bearingDeg(0.0, 0.0, 1.0, 0.0), 0.0, 1e-9);
    EXPECT_NEAR(bearingDeg(0.0, 0.0, 0.0, 1.0), 90.0, 1e-9);
    EXPECT_NEAR(bearingDeg(0.0, 0.0, -1.0, 0.0), 180.0, 1e-9);
    EXPECT_NEAR(bearingDeg(0.0, 0.0, 0.0, -1.0), 270.0, 1e-9);
    // atan2(sin 1 cos 1, sin 1) = atan2(cos 1, 1) for (0,0) to (1,1).
    EXPECT_NEAR(bearingDeg(0.0, 0.0, 1.0, 1.0), 44.99563, 1e-5);
    // Across the date line: due east, 2 degrees of longitude at the equator.
    EXPECT_NEAR(bearingDeg(0.0, 179.0, 0.0, -179.0), 90.0, 1e-9);
    EXPECT_NEAR(distanceM(0.0, 179.0, 0.0, -179.0), 2.0 * 111195.08, 0.02);
}

TEST(PositionFilter, TakesADrivingCarAndKeepsGlitchesOut)
{
    PositionFilter filter;
    // A car at 30 m/s north, a fix a second: 30 m apart.
    const double perSecond = 30.0 / 111195.08;
    for (int i = 0; i < 10; ++i)
        EXPECT_TRUE(filter.accept(at(48.0 + i * perSecond, 11.0, i, 30.0))) << i;
    // One fix 3000 km away, and one that reports 5000 km/h where it is: neither is taken.
    EXPECT_FALSE(filter.accept(at(75.0, 11.0, 10.0)));
    EXPECT_FALSE(filter.accept(at(48.0 + 10 * perSecond, 11.0, 10.5, 1400.0)));
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(filter.accept(at(nan, 11.0, 10.6)));
    EXPECT_FALSE(filter.accept(at(91.0, 11.0, 10.7)));
    EXPECT_NEAR(filter.last()->latitude, 48.0 + 9 * perSecond, 1e-12);
    EXPECT_EQ(filter.rejected(), 4);
    // The car goes on from where it was: taken again.
    EXPECT_TRUE(filter.accept(at(48.0 + 11 * perSecond, 11.0, 11.0, 30.0)));
}

TEST(PositionFilter, AGpsThatComesBackElsewhereIsBelievedAfterThreeAgreeingFixes)
{
    PositionFilter filter;
    EXPECT_TRUE(filter.accept(at(48.0, 11.0, 0.0)));
    // Switched off, carried 200 km on a train, switched on a minute later (by this clock).
    EXPECT_FALSE(filter.accept(at(49.8, 11.0, 60.0)));
    EXPECT_FALSE(filter.accept(at(49.8, 11.0, 61.0)));
    EXPECT_TRUE(filter.accept(at(49.8, 11.0, 62.0)));
    EXPECT_DOUBLE_EQ(filter.last()->latitude, 49.8);

    // Glitches that disagree with one another never add up to a move.
    PositionFilter scattered;
    EXPECT_TRUE(scattered.accept(at(48.0, 11.0, 0.0)));
    for (int i = 1; i <= 6; ++i)
        EXPECT_FALSE(scattered.accept(at(48.0 + (i % 2 ? 20.0 : -20.0), 11.0, i)));
    EXPECT_DOUBLE_EQ(scattered.last()->latitude, 48.0);
}

TEST(RotatorPolicy, MovesBeyondTheThresholdAtMostEveryInterval)
{
    RotatorPolicy policy;  // 5 degrees, 5 s
    auto sendIf = [&](double now, double az, double el) {
        const auto p = policy.decide(now, Pointing{az, el}, now);
        if (p)
            policy.sent(*p, now);
        return p;
    };
    ASSERT_TRUE(sendIf(0.0, 100.0, 10.0));
    EXPECT_FALSE(sendIf(6.0, 104.0, 10.0));   // 4 degrees: stays
    EXPECT_FALSE(sendIf(7.0, 100.0, 14.9));   // 4.9 degrees: stays
    EXPECT_FALSE(policy.decide(3.0, Pointing{130.0, 10.0}, 3.0));  // far, but within the interval
    const auto p = sendIf(8.0, 106.0, 10.0);  // 5.9 degrees on the sky, 8 s after the last
    ASSERT_TRUE(p);
    EXPECT_DOUBLE_EQ(p->azimuth, 106.0);
    EXPECT_FALSE(policy.decide(100.0, std::nullopt, 0.0));  // no trusted fix: stays

    // Near the zenith a large azimuth change is a small move on the sky.
    RotatorPolicy high;
    high.sent(Pointing{0.0, 89.0}, 0.0);
    EXPECT_FALSE(high.decide(10.0, Pointing{90.0, 89.0}, 10.0));
    EXPECT_NEAR(separationDeg(Pointing{0.0, 89.0}, Pointing{90.0, 89.0}), 1.41418, 1e-4);
    EXPECT_NEAR(separationDeg(Pointing{10.0, 0.0}, Pointing{100.0, 0.0}), 90.0, 1e-9);
}

TEST(RotatorPolicy, ClipsElevationNormalisesAzimuthAndKeepsToAzimuthOnly)
{
    RotatorPolicy policy;
    auto p = policy.decide(0.0, Pointing{-10.0, -3.0}, 0.0);
    ASSERT_TRUE(p);
    EXPECT_DOUBLE_EQ(p->azimuth, 350.0);
    EXPECT_DOUBLE_EQ(p->elevation, 0.0);
    p = RotatorPolicy().decide(0.0, Pointing{370.0, 95.0}, 0.0);
    ASSERT_TRUE(p);
    EXPECT_DOUBLE_EQ(p->azimuth, 10.0);
    EXPECT_DOUBLE_EQ(p->elevation, 90.0);

    RotatorSettings s;
    s.azimuthOnly = true;
    RotatorPolicy flat(s);
    p = flat.decide(0.0, Pointing{359.0, 40.0}, 0.0);
    ASSERT_TRUE(p);
    EXPECT_DOUBLE_EQ(p->elevation, 0.0);
    flat.sent(*p, 0.0);
    // Across north: 3 degrees of azimuth, whatever the elevation does.
    EXPECT_FALSE(flat.decide(10.0, Pointing{2.0, 80.0}, 10.0));
    p = flat.decide(10.0, Pointing{5.0, 0.0}, 10.0);
    ASSERT_TRUE(p);
    EXPECT_DOUBLE_EQ(p->azimuth, 5.0);
}

TEST(RotatorPolicy, GoesHomeOnceAfterMinutesWithoutAFix)
{
    RotatorSettings s;
    s.homeAfterS = 600.0;
    s.homeAzimuth = 180.0;
    s.homeElevation = 5.0;
    RotatorPolicy policy(s);
    // Nothing followed yet: nowhere to come home from.
    EXPECT_FALSE(policy.decide(1000.0, std::nullopt, 0.0));
    auto p = policy.decide(1000.0, Pointing{40.0, 20.0}, 1000.0);
    ASSERT_TRUE(p);
    policy.sent(*p, 1000.0);
    EXPECT_FALSE(policy.decide(1599.0, Pointing{40.0, 20.0}, 1000.0));  // the same old fix
    p = policy.decide(1600.0, Pointing{40.0, 20.0}, 1000.0);
    ASSERT_TRUE(p);
    EXPECT_DOUBLE_EQ(p->azimuth, 180.0);
    EXPECT_DOUBLE_EQ(p->elevation, 5.0);
    policy.sent(*p, 1600.0);
    EXPECT_FALSE(policy.decide(2600.0, std::nullopt, 0.0));  // home once
    // A new fix: back to the sonde.
    p = policy.decide(2700.0, Pointing{42.0, 19.0}, 2700.0);
    ASSERT_TRUE(p);
    EXPECT_DOUBLE_EQ(p->azimuth, 42.0);
}

TEST(RotatorPolicy, ARotctldConnectedAgainIsSentTheTargetWhateverTheThreshold)
{
    RotatorPolicy policy;
    policy.sent(Pointing{120.0, 10.0}, 0.0);
    EXPECT_FALSE(policy.decide(10.0, Pointing{121.0, 10.0}, 10.0));
    policy.forget();
    EXPECT_FALSE(policy.decide(2.0, Pointing{121.0, 10.0}, 2.0));  // the interval still holds
    EXPECT_TRUE(policy.decide(10.0, Pointing{121.0, 10.0}, 10.0));
}

TEST(FollowedSonde, KeepsToOneSondeUntilItIsQuietOrTheUserChooses)
{
    FollowedSonde f;
    EXPECT_TRUE(f.offer(0x1A2B, 0.0));
    EXPECT_FALSE(f.offer(0x2C3D, 0.5));  // both in the air: the first stays followed
    EXPECT_TRUE(f.offer(0x1A2B, 1.0));
    EXPECT_FALSE(f.offer(0x2C3D, 30.9));
    EXPECT_TRUE(f.offer(0x2C3D, 31.1));  // 0x1A2B quiet for 30 s: the newest takes over
    EXPECT_EQ(f.followed(), 0x2C3Du);
    EXPECT_FALSE(f.offer(0x1A2B, 31.5));
    f.choose(0x1A2Bu);
    EXPECT_TRUE(f.offer(0x1A2B, 32.0));
    EXPECT_FALSE(f.offer(0x2C3D, 100.0));
    EXPECT_EQ(f.followed(), 0x1A2Bu);
    f.choose(std::nullopt);
    EXPECT_EQ(f.followed(), 0x2C3Du);
}

TEST(StationAddresses, GpsdAndRotctld)
{
    GpsdAddress g;
    std::string error;
    ASSERT_TRUE(parseGpsdAddress("gpsd", g, error));
    EXPECT_EQ(g.host, "localhost");
    EXPECT_EQ(g.port, 2947);
    ASSERT_TRUE(parseGpsdAddress("gpsd:car.local", g, error));
    EXPECT_EQ(g.host, "car.local");
    EXPECT_EQ(g.port, 2947);
    ASSERT_TRUE(parseGpsdAddress("gpsd:127.0.0.1:2948", g, error));
    EXPECT_EQ(g.host, "127.0.0.1");
    EXPECT_EQ(g.port, 2948);
    for (const char* bad : {"gpsdx", "gpsd:", "gpsd::2947", "gpsd:host:", "gpsd:host:0", "gpsd:host:70000",
                            "gpsd:host:29x"}) {
        error.clear();
        EXPECT_FALSE(parseGpsdAddress(bad, g, error)) << bad;
        EXPECT_NE(error.find(bad), std::string::npos) << error;
    }

    RotctldAddress r;
    ASSERT_TRUE(parseRotctldAddress("shack", r, error));
    EXPECT_EQ(r.host, "shack");
    EXPECT_EQ(r.port, 4533);
    ASSERT_TRUE(parseRotctldAddress("10.0.0.5:4600", r, error));
    EXPECT_EQ(r.host, "10.0.0.5");
    EXPECT_EQ(r.port, 4600);
    for (const char* bad : {"", ":4533", "host:", "host:0", "host:abc", "http://host"})
        EXPECT_FALSE(parseRotctldAddress(bad, r, error)) << bad;
}

}  // namespace
}  // namespace nimbra::station

namespace nimbra::outputs {
namespace {

TEST(ChaseCarSchedule, EveryThirtySecondsMovingFiveMinutesStandingNeverUnknown)
{
    ChaseCarSchedule s;
    const formats::Station here{48.0f, 11.0f, 500.0f};
    const formats::Station driven{48.001f, 11.0f, 500.0f};  // 111 m north
    const formats::Station nudged{48.0003f, 11.0f, 500.0f};  // 33 m: standing
    EXPECT_FALSE(s.due(std::nullopt, 0.0));
    EXPECT_TRUE(s.due(here, 0.0));
    s.uploaded(here, 0.0);
    EXPECT_FALSE(s.due(driven, 29.9));
    EXPECT_TRUE(s.due(driven, 30.0));
    EXPECT_FALSE(s.due(std::nullopt, 400.0));
    EXPECT_FALSE(s.due(nudged, 30.0));
    EXPECT_FALSE(s.due(nudged, 299.9));
    EXPECT_TRUE(s.due(nudged, 300.0));
    s.uploaded(driven, 30.0);
    EXPECT_FALSE(s.due(driven, 329.9));
    EXPECT_TRUE(s.due(driven, 330.0));
}

}  // namespace
}  // namespace nimbra::outputs
