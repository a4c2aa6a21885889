// The landing predictor against flights worked out apart from it: a fall through calm air and a
// steady wind (time by fine numeric integration of the descent law), a wind in one layer only,
// and an ascent to the burst first.
#include <gtest/gtest.h>

#include <limits>

#include "flight/atmosphere.h"
#include "flight/landing_predictor.h"
#include "flight/local_plane.h"

namespace {

using namespace nimbra;
using namespace nimbra::flight;

constexpr std::int64_t kNowMs = 1796537865000;

// Seconds to fall from `top` to `ground` at v0 x sqrt(rho(0)/rho(h)), in 1 m steps.
double fallSeconds(double top, double ground, double v0)
{
    double t = 0.0;
    for (double h = ground + 0.5; h < top; h += 1.0)
        t += 1.0 / (v0 * exactDescentFactor(h));
    return t;
}

PredictionStart falling(double altitude)
{
    PredictionStart s;
    s.latitude = 39.75;
    s.longitude = -76.98;
    s.altitude = altitude;
    s.timeMs = kNowMs;
    s.descentRateMps = 5.0;
    s.groundAltitudeM = 200.0;
    return s;
}

// A profile with the same wind in every band from 0 to 40 km.
WindProfile uniform(double east, double north)
{
    WindProfile w(250.0);
    for (double h = 125.0; h < 40000.0; h += 250.0)
        w.add(h, {east, north}, 0.0);
    return w;
}

TEST(LandingPredictor, FallThroughCalmAirAndASteadyWind)
{
    const double t = fallSeconds(10000.0, 200.0, 5.0);
    LandingPrediction calm = predictLanding(falling(10000.0), WindProfile());
    ASSERT_TRUE(calm.valid);
    EXPECT_NEAR((calm.landing.timeMs - kNowMs) / 1000.0, t, 0.5);
    EXPECT_DOUBLE_EQ(calm.landing.latitude, 39.75);
    EXPECT_DOUBLE_EQ(calm.landing.longitude, -76.98);
    EXPECT_EQ(calm.landing.altitude, 200.0);

    const LandingPrediction windy = predictLanding(falling(10000.0), uniform(10.0, -4.0));
    ASSERT_TRUE(windy.valid);
    const Offset o = offsetBetween(39.75, -76.98, windy.landing.latitude, windy.landing.longitude);
    EXPECT_NEAR(o.eastM, 10.0 * t, 10.0 * t * 0.002);
    EXPECT_NEAR(o.northM, -4.0 * t, 4.0 * t * 0.002);
    // The path runs from the fix to the landing, later at every point.
    ASSERT_GE(windy.path.size(), 10u);
    EXPECT_EQ(windy.path.front().timeMs, kNowMs);
    EXPECT_EQ(windy.path.front().altitude, 10000.0);
    EXPECT_EQ(windy.path.back().timeMs, windy.landing.timeMs);
    for (std::size_t i = 1; i < windy.path.size(); ++i)
        EXPECT_GT(windy.path[i].timeMs, windy.path[i - 1].timeMs);
    EXPECT_FALSE(windy.burstObserved);
    EXPECT_EQ(windy.ascentRateMps, 0.0);
}

TEST(LandingPredictor, OnlyTheLayersBelowCount)
{
    // 20 m/s north between 5 and 6 km only: a fall from 5,500 m drifts through half of it.
    WindProfile w(250.0);
    for (double h = 125.0; h < 12000.0; h += 250.0)
        w.add(h, {0.0, (h > 5000.0 && h < 6000.0) ? 20.0 : 0.0}, 0.0);
    const LandingPrediction p = predictLanding(falling(5500.0), w);
    const Offset o = offsetBetween(39.75, -76.98, p.landing.latitude, p.landing.longitude);
    // Bands 5000-5250 and 5250-5500 fully at 20 m/s; the band below the layer blends into it
    // from its centre (4875 m) to the layer's first centre (5125 m).
    const double full = 20.0 * (fallSeconds(5500.0, 5125.0, 5.0));
    const double ramp = 10.0 * (fallSeconds(5125.0, 4875.0, 5.0));
    EXPECT_NEAR(o.northM, full + ramp, 0.01 * (full + ramp));
    EXPECT_NEAR(o.eastM, 0.0, 0.01);
}

TEST(LandingPredictor, AscentToTheBurstThenDown)
{
    PredictionStart s = falling(3000.0);
    s.ascending = true;
    s.ascentRateMps = 5.0;
    s.burstAltitudeM = 8000.0;
    const LandingPrediction p = predictLanding(s, uniform(6.0, 0.0));
    ASSERT_TRUE(p.valid);
    EXPECT_EQ(p.burst.altitude, 8000.0);
    EXPECT_EQ(p.burst.timeMs, kNowMs + 1000000);  // 5,000 m at 5 m/s
    EXPECT_EQ(p.ascentRateMps, 5.0);
    const double t = 1000.0 + fallSeconds(8000.0, 200.0, 5.0);
    EXPECT_NEAR((p.landing.timeMs - kNowMs) / 1000.0, t, 0.5);
    const Offset o = offsetBetween(39.75, -76.98, p.landing.latitude, p.landing.longitude);
    EXPECT_NEAR(o.eastM, 6.0 * t, 6.0 * t * 0.002);
    // Above the burst setting already: the burst is now.
    s.altitude = 9000.0;
    EXPECT_EQ(predictLanding(s, uniform(6.0, 0.0)).burst.timeMs, kNowMs);
}

TEST(LandingPredictor, NothingForFloatersOrBadInput)
{
    PredictionStart s = falling(3000.0);
    s.ascending = true;
    s.ascentRateMps = 0.1;  // floating: the flight could last for days
    EXPECT_FALSE(predictLanding(s, WindProfile()).valid);
    s = falling(3000.0);
    s.descentRateMps = 0.0;
    EXPECT_FALSE(predictLanding(s, WindProfile()).valid);
    s = falling(std::numeric_limits<double>::quiet_NaN());
    EXPECT_FALSE(predictLanding(s, WindProfile()).valid);
    // Already below the ground altitude: landing here and now.
    const LandingPrediction here = predictLanding(falling(150.0), uniform(5.0, 5.0));
    ASSERT_TRUE(here.valid);
    EXPECT_EQ(here.landing.timeMs, kNowMs);
    EXPECT_DOUBLE_EQ(here.landing.latitude, 39.75);
}

}  // namespace
