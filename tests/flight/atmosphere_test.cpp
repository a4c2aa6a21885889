// The standard atmosphere against the published table of the 1976 standard atmosphere (values
// worked by hand from its layer formulas), and the descent scaling built on it.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "flight/atmosphere.h"

namespace {

using namespace nimbra::flight;

TEST(Atmosphere, TableValuesAtLayerBoundaries)
{
    struct Row {
        double geometricM, temperatureK, pressurePa, density;
    };
    // Geometric altitudes of the geopotential 11, 20 and 32 km boundaries: z = r0 H / (r0 - H).
    const Row rows[] = {
        {0.0, 288.15, 101325.0, 1.224999},
        {5000.0, 255.6755, 54048.289, 0.7364284},
        {11019.067832, 216.65, 22632.067, 0.3639178},
        {20063.123682, 216.65, 5474.890, 0.08803482},
        {32161.903223, 228.65, 868.0191, 0.01322500},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.geometricM);
        const AirState air = standardAtmosphere(r.geometricM);
        EXPECT_NEAR(air.temperatureK, r.temperatureK, 0.0001);
        EXPECT_NEAR(air.pressurePa, r.pressurePa, r.pressurePa * 1e-6);
        EXPECT_NEAR(air.densityKgM3, r.density, r.density * 1e-6);
    }
    EXPECT_NEAR(geopotentialAltitude(5000.0), 4996.0703, 0.001);
    EXPECT_NEAR(geopotentialAltitude(11019.067832), 11000.0, 0.001);
}

TEST(Atmosphere, DescentFactorScalesWithTheSquareRootOfDensity)
{
    EXPECT_DOUBLE_EQ(exactDescentFactor(0.0), 1.0);
    // sqrt(1.224999 / 0.3639178) at geopotential 11 km.
    EXPECT_NEAR(exactDescentFactor(11019.067832), 1.834705, 1e-6);
    // The table the predictor reads agrees with the formula everywhere a sonde flies.
    double previous = 0.0;
    for (double h = -500.0; h <= 50000.0; h += 37.3) {
        const double f = descentFactor(h);
        EXPECT_NEAR(f, exactDescentFactor(h), exactDescentFactor(h) * 1e-6) << h;
        EXPECT_GT(f, previous) << h;  // thinner air, faster fall
        previous = f;
    }
}

TEST(Atmosphere, CorruptAltitudesGiveFiniteValues)
{
    for (double h : {std::numeric_limits<double>::quiet_NaN(), -1e9, 1e9, std::numeric_limits<double>::infinity(),
                     -std::numeric_limits<double>::infinity()}) {
        const AirState air = standardAtmosphere(h);
        EXPECT_TRUE(std::isfinite(air.densityKgM3) && air.densityKgM3 > 0.0) << h;
        EXPECT_TRUE(std::isfinite(descentFactor(h)) && descentFactor(h) > 0.0) << h;
    }
}

}  // namespace
