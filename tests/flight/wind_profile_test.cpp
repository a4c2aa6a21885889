// Wind bands: which band a sample falls in, the mean a band holds, how the newest data take
// over, and the wind between, above and below the measured bands.
#include <gtest/gtest.h>

#include <cmath>

#include "flight/wind_profile.h"

namespace {

using namespace nimbra::flight;

TEST(WindProfile, SamplesFallIntoTheirBands)
{
    WindProfile p(250.0);
    EXPECT_TRUE(p.empty());
    EXPECT_EQ(p.at(1000.0).eastMps, 0.0);  // nothing measured: calm
    p.add(10.0, {2.0, 0.0}, 0.0);
    p.add(249.9, {4.0, 2.0}, 1.0);
    p.add(250.0, {10.0, 0.0}, 2.0);
    p.add(-20.0, {-1.0, 0.0}, 3.0);  // below sea level: its own band
    const std::vector<WindBand> bands = p.bands();
    ASSERT_EQ(bands.size(), 3u);
    EXPECT_EQ(bands[0].bottomM, -250.0);
    EXPECT_EQ(bands[1].bottomM, 0.0);
    EXPECT_EQ(bands[1].samples, 2);
    EXPECT_DOUBLE_EQ(bands[1].wind.eastMps, 3.0);  // the mean of 2 and 4
    EXPECT_DOUBLE_EQ(bands[1].wind.northMps, 1.0);
    EXPECT_EQ(bands[2].bottomM, 250.0);
    EXPECT_DOUBLE_EQ(p.topM(), 500.0);
}

TEST(WindProfile, BetweenBandCentresLinearOutsideTheNearestBand)
{
    WindProfile p(250.0);
    p.add(100.0, {0.0, 10.0}, 0.0);    // band 0, centre 125 m
    p.add(1100.0, {8.0, -10.0}, 1.0);  // band 4, centre 1125 m; bands 1-3 not measured
    EXPECT_DOUBLE_EQ(p.at(125.0).northMps, 10.0);
    EXPECT_DOUBLE_EQ(p.at(625.0).eastMps, 4.0);    // half-way across the unmeasured bands
    EXPECT_DOUBLE_EQ(p.at(625.0).northMps, 0.0);
    EXPECT_DOUBLE_EQ(p.at(375.0).eastMps, 2.0);
    EXPECT_DOUBLE_EQ(p.at(0.0).northMps, 10.0);     // below the lowest centre
    EXPECT_DOUBLE_EQ(p.at(30000.0).eastMps, 8.0);   // above the highest: the highest band's wind
}

TEST(WindProfile, NewestDataTakeOver)
{
    WindProfile p(250.0);
    // A long stay in one band: the mean remembers the last kMemorySamples only.
    for (int i = 0; i < 100; ++i)
        p.add(500.0, {i < 70 ? 0.0 : 30.0, 0.0}, i);
    EXPECT_EQ(p.bands()[0].samples, WindProfile::kMemorySamples);
    // Each new sample weighs 1/30: 30 samples of 30 m/s after 70 of calm.
    EXPECT_NEAR(p.at(500.0).eastMps, 30.0 * (1.0 - std::pow(29.0 / 30.0, 30)), 1e-9);
    // The descent passes through the band measured on the way up: after a few samples its wind
    // is mostly the new one.
    WindProfile q(250.0);
    for (int i = 0; i < 50; ++i)
        q.add(600.0, {10.0, 0.0}, i);
    for (int i = 0; i < 6; ++i)
        q.add(600.0, {-10.0, 0.0}, 3000.0 + i);
    EXPECT_NEAR(q.at(625.0).eastMps, (3 * 10.0 - 6 * 10.0) / 9.0, 1e-9);
}

}  // namespace
