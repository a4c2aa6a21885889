// Observer geometry and motion: look angles in the cardinal directions, range truncation, and
// the smoothed ascent, speed and direction.
#include <gtest/gtest.h>

#include "telemetry/geometry.h"
#include "telemetry/motion.h"

namespace nimbra {
namespace {

TEST(TelemetryGeometry, EllipsoidRadiusAtEquatorAndPole)
{
    EXPECT_NEAR(EllipsoidRadius(0.0), 6378137.0, 1e-6);
    EXPECT_NEAR(EllipsoidRadius(3.1415927 / 2.0), 6356752.3, 1e-3);
    const Cartesian p = GeodeticToCartesian(0.0, 90.0, 100.0);
    EXPECT_NEAR(p.r, 6378237.0, 1e-6);
    EXPECT_NEAR(p.y, 6378237.0, 1e-3);
    EXPECT_NEAR(p.x, 0.0, 1.0);  // cos of the rounded right angle is not quite 0
    EXPECT_EQ(p.z, 0.0);
}

TEST(TelemetryGeometry, LookAnglesInTheCardinalDirections)
{
    const LookAngles up = ComputeLookAngles(39.75f, -76.98f, 220.0f, 39.75f, -76.98f, 5220.5f);
    EXPECT_NEAR(up.elevationDeg, 90.0f, 1e-5f);
    EXPECT_FLOAT_EQ(up.rangeKm, 5.0f);

    const LookAngles north = ComputeLookAngles(39.75f, -76.98f, 220.0f, 40.75f, -76.98f, 220.0f);
    EXPECT_NEAR(north.azimuthDeg, 0.0f, 1e-5f);
    EXPECT_NEAR(north.rangeKm, 111.0f, 0.2f);
    EXPECT_LT(north.elevationDeg, 0.0f);  // the earth curves away below the horizon

    const LookAngles south = ComputeLookAngles(39.75f, -76.98f, 220.0f, 38.75f, -76.98f, 220.0f);
    EXPECT_NEAR(south.azimuthDeg, 180.0f, 1e-4f);

    const LookAngles east = ComputeLookAngles(0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f);
    EXPECT_NEAR(east.azimuthDeg, 90.0f, 1e-4f);
    const LookAngles west = ComputeLookAngles(0.0f, 0.0f, 0.0f, 0.0f, -1.0f, 0.0f);
    EXPECT_NEAR(west.azimuthDeg, 270.0f, 1e-4f);
    // One degree of the equator of a 6378137 m sphere: 111318.08 m of chord, truncated.
    EXPECT_FLOAT_EQ(east.rangeKm, 111.318f);
}

TEST(TelemetryGeometry, RangeIsTruncatedToWholeMetres)
{
    const LookAngles a = ComputeLookAngles(10.0f, 20.0f, 0.0f, 10.0f, 20.0f, 1234.9f);
    EXPECT_FLOAT_EQ(a.rangeKm, 1.234f);
    const LookAngles b = ComputeLookAngles(10.0f, 20.0f, 0.0f, 10.0f, 20.0f, 999.5f);
    EXPECT_FLOAT_EQ(b.rangeKm, 0.999f);
}

TEST(TelemetryMotion, DirectionIsSmoothedOnTheCircle)
{
    EXPECT_FLOAT_EQ(smoothDirection(350.0f, 10.0f), 352.0f);
    EXPECT_FLOAT_EQ(smoothDirection(10.0f, 350.0f), 8.0f);
    EXPECT_FLOAT_EQ(smoothDirection(100.0f, 200.0f), 110.0f);
    EXPECT_FLOAT_EQ(smoothDirection(0.0f, 180.0f), 18.0f);   // half a turn counts as positive
    EXPECT_FLOAT_EQ(smoothDirection(1.0f, 355.0f), 0.4f);
    EXPECT_FLOAT_EQ(smoothDirection(5.0f, 300.0f), 358.5f);  // kept in [0, 360)
}

TelemetryState motionState(int previousCounter, float previousAltitude, int counter,
                           float altitude)
{
    TelemetryState t;
    t.previousFix = {39.75f, -76.98f, previousAltitude, previousCounter};
    t.latitude = 39.75f;
    t.longitude = -76.98f;
    t.altitude = altitude;
    t.timeCounter = static_cast<std::uint16_t>(counter);
    return t;
}

TEST(TelemetryMotion, AscentRate)
{
    TelemetryState t = motionState(100, 1000.0f, 110, 1050.0f);
    updateMotion(t);
    EXPECT_FLOAT_EQ(t.ascent, 0.5f);
    EXPECT_EQ(t.velocity, 0.0f);  // same position: no horizontal step
    EXPECT_EQ(t.direction, 0.0f);

    // A previous altitude of 0 skips the ascent step.
    t = motionState(100, 0.0f, 110, 1050.0f);
    t.ascent = 2.0f;
    updateMotion(t);
    EXPECT_EQ(t.ascent, 2.0f);
}

TEST(TelemetryMotion, NoStepWithoutAForwardTimeCounter)
{
    for (const auto& counters : {std::pair<int, int>{110, 110}, {110, 50}, {0, 10}}) {
        TelemetryState t = motionState(counters.first, 1000.0f, counters.second, 1200.0f);
        t.latitude = 39.80f;
        t.ascent = 1.0f;
        t.velocity = 2.0f;
        t.direction = 3.0f;
        updateMotion(t);
        EXPECT_EQ(t.ascent, 1.0f);
        EXPECT_EQ(t.velocity, 2.0f);
        EXPECT_EQ(t.direction, 3.0f);
    }
}

TEST(TelemetryMotion, HorizontalStepNorthAcrossZeroDegrees)
{
    TelemetryState t = motionState(100, 0.0f, 110, 1000.0f);
    t.latitude = 39.76f;  // about 1111 m north in 10 s
    t.direction = 350.0f;
    updateMotion(t);
    EXPECT_NEAR(t.velocity, 11.1f, 0.05f);
    EXPECT_NEAR(t.direction, 351.0f, 1e-3f);
    EXPECT_EQ(t.ascent, 0.0f);
}

}  // namespace
}  // namespace nimbra
