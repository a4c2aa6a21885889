// The synthesizer's flight model, which the tracker's tests and the prediction benchmark take as
// the truth: the wind field (seeded and from a table), the trajectory's physics, and the staged
// faults of the flight plan.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>

#include "flight/atmosphere.h"
#include "flight/local_plane.h"
#include "synth/fix_sequence.h"
#include "synth/flight.h"
#include "synth/flight_plan.h"
#include "synth/trajectory.h"
#include "synth/wind_field.h"

namespace {

using namespace nimbra;
using namespace nimbra::synth;

std::string writeFile(const std::string& name, const std::string& text)
{
    const std::string path = ::testing::TempDir() + name;
    std::ofstream(path) << text;
    return path;
}

TEST(SynthWindField, SeededProfilesAreRepeatableSmoothAndShapedLikeSoundings)
{
    const WindField a = WindField::seeded(7);
    const WindField b = WindField::seeded(7);
    const WindField c = WindField::seeded(8);
    double strongest = 0.0, strongestAt = 0.0;
    for (double h = 0.0; h < 40000.0; h += 10.0) {
        const Wind w = a.at(h, 0.0);
        EXPECT_EQ(w.eastMps, b.at(h, 0.0).eastMps);
        // Smooth: no more than 0.3 m/s change over 10 m.
        const Wind next = a.at(h + 10.0, 0.0);
        EXPECT_LT(std::hypot(next.eastMps - w.eastMps, next.northMps - w.northMps), 0.3) << h;
        const double speed = std::hypot(w.eastMps, w.northMps);
        if (speed > strongest) {
            strongest = speed;
            strongestAt = h;
        }
    }
    EXPECT_NE(a.at(5000.0, 0.0).eastMps, c.at(5000.0, 0.0).eastMps);
    // The jet stream is the strongest wind, near the tropopause.
    EXPECT_GT(strongestAt, 6000.0);
    EXPECT_LT(strongestAt, 16000.0);
    EXPECT_GT(strongest, 8.0);
    // Steady unless asked to drift.
    EXPECT_EQ(a.at(9000.0, 0.0).eastMps, a.at(9000.0, 7200.0).eastMps);
    const WindField drifting = WindField::seeded(7, 2.0);
    EXPECT_NE(drifting.at(9000.0, 0.0).eastMps, drifting.at(9000.0, 7200.0).eastMps);
}

TEST(SynthWindField, TableFromCsv)
{
    WindField f;
    std::string error;
    const std::string good = writeFile("winds.csv", "altitude_m,east_mps,north_mps\n# a comment\n0,2,0\n"
                                                    "1000, 12 ,-4\n\n11000,40,0\n");
    ASSERT_TRUE(WindField::fromCsv(good, f, error)) << error;
    EXPECT_DOUBLE_EQ(f.at(500.0, 0.0).eastMps, 7.0);
    EXPECT_DOUBLE_EQ(f.at(500.0, 0.0).northMps, -2.0);
    EXPECT_DOUBLE_EQ(f.at(-100.0, 0.0).eastMps, 2.0);
    EXPECT_DOUBLE_EQ(f.at(30000.0, 0.0).eastMps, 40.0);

    const struct {
        const char* text;
        const char* message;
    } bad[] = {
        {"0,1,1\n500,2\n", "line 2: expected altitude_m,east_mps,north_mps"},
        {"0,1,1\n500,2,x\n", "line 2: expected"},
        {"0,1,1\n0,2,2\n", "line 2: altitudes must increase"},
        {"altitude_m,east_mps,north_mps\n", "no rows"},
    };
    for (const auto& b : bad) {
        const std::string path = writeFile("bad-winds.csv", b.text);
        EXPECT_FALSE(WindField::fromCsv(path, f, error)) << b.text;
        EXPECT_NE(error.find(b.message), std::string::npos) << error;
        EXPECT_EQ(error.find(path), 0u) << error;
    }
    EXPECT_FALSE(WindField::fromCsv(::testing::TempDir() + "no-such-winds.csv", f, error));
    EXPECT_NE(error.find("No such file"), std::string::npos) << error;
}

TEST(SynthTrajectory, AscentBurstDensityScaledDescentAndLanding)
{
    WindField east;
    std::string error;
    ASSERT_TRUE(WindField::fromCsv(writeFile("east.csv", "0,10,0\n40000,10,0\n"), east, error)) << error;
    TrajectorySettings s;
    s.ascentRateMps = 8.0;
    s.burstAltitudeM = 12000.0;
    s.descentRateMps = 5.0;
    s.groundAltitudeM = 100.0;
    s.afterLandingS = 30.0;
    s.scatter = false;
    const Trajectory t = flyTrajectory(s, east);

    // The climb: 8 m/s rising by 10 % towards 30 km.
    double climbS = 0.0;
    for (double h = s.launchAltitudeM; h < 12000.0; h += 1.0)
        climbS += 1.0 / (8.0 * (1.0 + 0.1 * h / 30000.0));
    EXPECT_NEAR(t.burst.timeS, climbS, 0.03 * climbS);
    EXPECT_NEAR(t.burst.altitude, 12000.0, 2.0);
    // The fall: v0 x sqrt(rho(0)/rho(h)), within this flight's few percent of other air.
    double fallS = 0.0;
    for (double h = 100.5; h < 12000.0; h += 1.0)
        fallS += 1.0 / (5.0 * flight::exactDescentFactor(h));
    EXPECT_NEAR(t.landing.timeS - t.burst.timeS, fallS, 0.08 * fallS);
    for (const TrajectoryPoint& p : t.points)
        if (p.timeS > t.burst.timeS + 20.0 && p.altitude > 5000.0 && p.altitude < 5100.0) {
            const TrajectoryPoint& next = t.points[static_cast<std::size_t>(p.timeS) + 10];
            const double rate = (p.altitude - next.altitude) / 10.0;
            EXPECT_NEAR(rate, 5.0 * flight::exactDescentFactor(5000.0), 0.08 * rate);
            break;
        }
    // Landed on the ground altitude, and lying there for 30 s.
    EXPECT_EQ(t.landing.altitude, 100.0);
    EXPECT_EQ(t.points.back().altitude, 100.0);
    EXPECT_NEAR(t.points.back().timeS, t.landing.timeS + 30.0, 1.0);
    EXPECT_EQ(t.points.size(), static_cast<std::size_t>(t.points.back().timeS) + 1);
    // Drifted with the wind: 10 m/s east the whole flight, give or take the gusts.
    const flight::Offset o = flight::offsetBetween(s.launchLatitude, s.launchLongitude, t.landing.latitude,
                                                   t.landing.longitude);
    EXPECT_NEAR(o.eastM, 10.0 * t.landing.timeS, 0.03 * 10.0 * t.landing.timeS);
    EXPECT_LT(std::fabs(o.northM), 1500.0);
}

TEST(SynthFlightPlan, GapsFaultsAndANewIdentifier)
{
    TrajectorySettings s;
    s.ascentRateMps = 10.0;
    s.burstAltitudeM = 2000.0;
    s.descentRateMps = 8.0;
    const Trajectory t = flyTrajectory(s, WindField::seeded(1));
    FlightFaults faults;
    faults.gaps = {{50.0, 20.0}};
    faults.displaced = {{10.0, 1000.0}};
    faults.wrongCounters = {{12.0, -5}};
    faults.identifiers = {{100.0, 0x0C0F}};
    const std::vector<PlannedBlock> plan = planBlocks(t, 0x1A2B, 65530, faults);
    ASSERT_EQ(plan.size(), t.points.size());
    for (std::size_t i = 0; i < plan.size(); ++i) {
        const PlannedBlock& b = plan[i];
        EXPECT_EQ(b.sent, i < 50 || i >= 70) << i;
        EXPECT_EQ(b.injected, i == 10 || i == 12) << i;
        EXPECT_EQ(b.transmitterId, i < 100 ? 0x1A2Bu : 0x0C0Fu) << i;
        EXPECT_EQ(b.timeCounter, static_cast<std::uint16_t>(65530 + i + (i == 12 ? -5 : 0))) << i;
        const flight::Offset o = flight::offsetBetween(t.points[i].latitude, t.points[i].longitude,
                                                       rawToDegrees(b.latitudeRaw), rawToDegrees(b.longitudeRaw));
        EXPECT_NEAR(flight::lengthOf(o), i == 10 ? 1000.0 : 0.0, 2.0) << i;
        EXPECT_NEAR(b.altitudeMm / 1000.0, t.points[i].altitude, 0.001);
    }
    // The recording leaves out the blocks of the gap, and marks the faults among its fixes.
    FlightSettings flight;
    flight.plan = plan;
    flight.plan.resize(120);
    const Flight f = makeFlight(flight);
    EXPECT_EQ(f.fixes.size(), 100u);
    EXPECT_EQ(f.gpsBlocks, 100);
    EXPECT_TRUE(f.fixes[10].injected);
    EXPECT_EQ(f.fixes[12].timeCounter, static_cast<std::uint16_t>(65530 + 12 - 5));
    EXPECT_EQ(f.fixes[50].timeCounter, static_cast<std::uint16_t>(65530 + 70));
    EXPECT_NEAR(f.fixes[50].endTimeS - f.fixes[49].endTimeS, 21.0, 0.01);
    // Without audio: one fix a second, sample times at the block ends, a share lost at random.
    const std::vector<TimedFix> all = fixSequence(plan, 1000, 0.9);
    EXPECT_EQ(all.size(), plan.size() - 20);
    EXPECT_EQ(all[60].record.timeCounter, static_cast<std::uint16_t>(65530 + 80));
    EXPECT_DOUBLE_EQ(all[60].timeS, 80.9);
    EXPECT_EQ(all[60].record.sampleIndex, 3883200);  // 80.9 s at 48,000 samples/s
    EXPECT_EQ(all[60].record.timeMs, 1000 + 80900);
    const std::vector<TimedFix> some = fixSequence(plan, 1000, 0.9, 0.5, 3);
    EXPECT_GT(some.size(), all.size() * 4 / 10);
    EXPECT_LT(some.size(), all.size() * 6 / 10);
}

}  // namespace
