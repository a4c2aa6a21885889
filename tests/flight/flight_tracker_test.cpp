// The whole tracker on short synthesized flights (fast ascent, low burst), their fixes made
// straight from the flight model as the decoder would report them: the phases in order, the
// prediction against the true landing, and the flight followed through injected faults, a
// ten-minute gap and a change of identifier.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "flight/flight_tracker.h"
#include "flight/local_plane.h"
#include "synth/fix_sequence.h"
#include "synth/flight_plan.h"
#include "synth/trajectory.h"

namespace {

using namespace nimbra;
using namespace nimbra::synth;

constexpr std::int64_t kStartMs = 1796537865000;

struct ShortFlight {
    Trajectory trajectory;
    std::vector<TimedFix> fixes;
};

ShortFlight shortFlight(std::uint64_t seed, const FlightFaults& faults = {}, double lossFraction = 0.0)
{
    TrajectorySettings t;
    t.ascentRateMps = 8.0;
    t.burstAltitudeM = 5000.0;
    t.descentRateMps = 5.0 + 0.3 * static_cast<double>(seed % 4);
    t.afterLandingS = 60.0;
    t.seed = seed;
    ShortFlight f;
    f.trajectory = flyTrajectory(t, WindField::seeded(seed));
    f.fixes = fixSequence(planBlocks(f.trajectory, 0x1A2B, 1200, faults), kStartMs, 0.9, lossFraction, seed);
    return f;
}

flight::TrackerSettings settingsFor(double burstAltitude = 5000.0)
{
    flight::TrackerSettings s;
    s.groundAltitudeM = 220.0;
    s.burstAltitudeM = burstAltitude;
    return s;
}

double missM(const LandingPrediction& p, const TrajectoryPoint& truth)
{
    return flight::lengthOf(flight::offsetBetween(truth.latitude, truth.longitude, p.landing.latitude, p.landing.longitude));
}

std::vector<FlightFix> trackAll(const ShortFlight& f, const flight::TrackerSettings& settings = settingsFor())
{
    flight::FlightTracker tracker(settings);
    std::vector<FlightFix> out;
    for (const TimedFix& x : f.fixes)
        out.push_back(tracker.track(x.record, "line", x.timeS));
    return out;
}

TEST(FlightTracker, ShortFlightsPhasesAndPredictionsWithinTheTargets)
{
    std::vector<double> atBurst, at3km;
    for (std::uint64_t seed = 1; seed <= 5; ++seed) {
        SCOPED_TRACE(seed);
        const ShortFlight f = shortFlight(seed, {}, 0.1);
        const std::vector<FlightFix> fixes = trackAll(f);
        // Every fix trusted but the first two; the phases in flight order.
        std::vector<FlightPhase> order;
        for (std::size_t i = 0; i < fixes.size(); ++i) {
            EXPECT_EQ(fixes[i].trusted, i >= 2) << i;
            EXPECT_EQ(fixes[i].line, "line");
            if (order.empty() || order.back() != fixes[i].phase)
                order.push_back(fixes[i].phase);
        }
        EXPECT_EQ(order, (std::vector<FlightPhase>{FlightPhase::Unknown, FlightPhase::Ascent, FlightPhase::Burst,
                                                    FlightPhase::Descent, FlightPhase::Landed}));
        // At the fix that confirms the burst, and the first below 3 km above the ground.
        const auto burst = std::find_if(fixes.begin(), fixes.end(),
                                        [](const FlightFix& x) { return x.phase == FlightPhase::Burst; });
        ASSERT_NE(burst, fixes.end());
        ASSERT_TRUE(burst->prediction.valid);
        EXPECT_TRUE(burst->prediction.burstObserved);
        EXPECT_NEAR(burst->prediction.burst.altitude, 5000.0, 30.0);
        atBurst.push_back(missM(burst->prediction, f.trajectory.landing));
        const auto low = std::find_if(burst, fixes.end(), [](const FlightFix& x) { return x.record.altitude < 3220.0f; });
        ASSERT_NE(low, fixes.end());
        at3km.push_back(missM(low->prediction, f.trajectory.landing));
        const double trueLandingMs = kStartMs + (0.9 + f.trajectory.landing.timeS) * 1000.0;
        EXPECT_NEAR(static_cast<double>(low->prediction.landing.timeMs), trueLandingMs, 20000.0);
        // Landed: the landing stays where the sonde came down.
        EXPECT_EQ(fixes.back().phase, FlightPhase::Landed);
        EXPECT_LT(missM(fixes.back().prediction, f.trajectory.landing), 20.0);
        EXPECT_NEAR(static_cast<double>(fixes.back().prediction.landing.timeMs), trueLandingMs, 5000.0);
    }
    std::sort(atBurst.begin(), atBurst.end());
    std::sort(at3km.begin(), at3km.end());
    EXPECT_LE(atBurst[2], 1000.0);   // median
    EXPECT_LE(atBurst[4], 3000.0);   // worst
    EXPECT_LE(at3km[2], 250.0);      // median
}

TEST(FlightTracker, InjectedFixesAreNotTrustedAndChangeNothing)
{
    FlightFaults faults;
    faults.displaced = {{100.0, 400.0}, {300.0, 5000.0}};
    faults.wrongCounters = {{200.0, 1}, {400.0, -3000}};
    const ShortFlight f = shortFlight(3, faults);
    const std::vector<FlightFix> fixes = trackAll(f);
    int injected = 0;
    for (std::size_t i = 2; i < fixes.size(); ++i) {
        const double second = f.fixes[i].timeS - 0.9;
        const bool bad = second == 100.0 || second == 200.0 || second == 300.0 || second == 400.0;
        EXPECT_EQ(fixes[i].trusted, !bad) << second;
        if (bad) {
            ++injected;
            EXPECT_EQ(fixes[i].check, second == 100.0 || second == 300.0 ? FixCheck::Motion : FixCheck::Counter);
            // The prediction stays what the fix before left.
            EXPECT_EQ(fixes[i].prediction.landing.timeMs, fixes[i - 1].prediction.landing.timeMs);
            EXPECT_EQ(fixes[i].prediction.landing.latitude, fixes[i - 1].prediction.landing.latitude);
        }
    }
    EXPECT_EQ(injected, 4);
    // With the check off every fix is trusted, the injected ones too.
    flight::TrackerSettings off = settingsFor();
    off.trust = false;
    for (const FlightFix& x : trackAll(f, off)) {
        EXPECT_TRUE(x.trusted);
        EXPECT_EQ(x.check, FixCheck::Unchecked);
    }
}

TEST(FlightTracker, TenMinuteGapIsBridged)
{
    FlightFaults faults;
    faults.gaps = {{150.0, 600.0}};  // from the ascent into the descent
    const ShortFlight f = shortFlight(2, faults);
    const std::vector<FlightFix> fixes = trackAll(f);
    std::size_t after = 0;
    while (f.fixes[after].timeS - 0.9 < 150.0)
        ++after;
    EXPECT_NEAR(f.fixes[after].timeS - 0.9, 750.0, 0.01);
    for (std::size_t i = 0; i < fixes.size(); ++i) {
        const bool acquiring = i < 2 || i == after || i == after + 1;
        EXPECT_EQ(fixes[i].trusted, !acquiring) << i;
    }
    EXPECT_EQ(fixes[after].check, FixCheck::Acquiring);
    // Still the same flight: the ascent is remembered, so after the gap it is the descent.
    EXPECT_EQ(fixes[after - 1].phase, FlightPhase::Ascent);
    EXPECT_TRUE(fixes.back().prediction.valid);
    EXPECT_EQ(fixes.back().phase, FlightPhase::Landed);
}

TEST(FlightTracker, IdentifierChangeStartsANewFlight)
{
    FlightFaults faults;
    faults.identifiers = {{300.0, 0x0C0F}};
    const ShortFlight f = shortFlight(4, faults);
    flight::FlightTracker tracker(settingsFor());
    std::size_t change = 0;
    for (std::size_t i = 0; i < f.fixes.size(); ++i) {
        const FlightFix x = tracker.track(f.fixes[i].record, "", f.fixes[i].timeS);
        const double second = f.fixes[i].timeS - 0.9;
        if (second == 299.0) {
            EXPECT_EQ(x.phase, FlightPhase::Ascent);
            EXPECT_TRUE(x.prediction.valid);
        }
        if (second == 300.0 || second == 301.0) {
            EXPECT_FALSE(x.trusted);
            EXPECT_EQ(x.check, FixCheck::Identifier);
            EXPECT_EQ(tracker.flightId(), 0x1A2Bu);
        }
        if (second == 302.0) {
            change = i;
            EXPECT_TRUE(x.trusted);
            EXPECT_EQ(tracker.flightId(), 0x0C0Fu);
            // A new flight: its phase and prediction start afresh.
            EXPECT_EQ(x.phase, FlightPhase::Unknown);
            EXPECT_FALSE(x.prediction.valid);
        }
        if (change && second >= 320.0) {
            EXPECT_TRUE(x.trusted && x.phase != FlightPhase::Unknown) << second;
        }
    }
    EXPECT_GT(change, 0u);
    EXPECT_EQ(tracker.phase(), FlightPhase::Landed);
}

TEST(FlightTracker, SettingsChangeKeepsTheFlight)
{
    const ShortFlight f = shortFlight(1);
    flight::FlightTracker tracker(settingsFor(20000.0));
    FlightFix x;
    std::size_t i = 0;
    for (; f.fixes[i].timeS < 200.0; ++i)
        x = tracker.track(f.fixes[i].record, "", f.fixes[i].timeS);
    ASSERT_EQ(x.phase, FlightPhase::Ascent);
    const std::int64_t far = x.prediction.landing.timeMs;
    tracker.setSettings(settingsFor(5000.0));  // the burst expected lower: a nearer, earlier landing
    x = tracker.track(f.fixes[i].record, "", f.fixes[i].timeS);
    EXPECT_TRUE(x.trusted);
    EXPECT_EQ(x.phase, FlightPhase::Ascent);
    EXPECT_LT(x.prediction.landing.timeMs, far - 1000000);
    EXPECT_EQ(x.prediction.burst.altitude, 5000.0);
    tracker.reset();
    EXPECT_FALSE(tracker.hasFlight());
    EXPECT_FALSE(tracker.track(f.fixes[i + 1].record, "", f.fixes[i + 1].timeS).trusted);
}

}  // namespace
