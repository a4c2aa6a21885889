// GPS fields: scaling of the raw position fields, and the plausibility test with its limits
// applied to the stored 32-bit floats.
#include <gtest/gtest.h>

#include <memory>

#include "telemetry/gps_fix.h"
#include "support/blocks.h"

namespace nimbra {
namespace {

using namespace nimbra::testing;

TEST(TelemetryGps, RawFieldScaling)
{
    EXPECT_EQ(gpsAngleFromRaw(0x40000000u), 90.0f);
    EXPECT_EQ(gpsAngleFromRaw(0x40100000u), 90.087890625f);
    EXPECT_EQ(gpsAngleFromRaw(0x40000001u), 90.0f);  // rounds to 90 as a float
    EXPECT_EQ(gpsAngleFromRaw(0xC0000000u), -90.0f);
    EXPECT_EQ(gpsAngleFromRaw(0x80000000u), -180.0f);
    EXPECT_EQ(gpsAngleFromRaw(0x00000000u), 0.0f);
    EXPECT_EQ(gpsAltitudeFromRaw(0xFFFFFFFFu), -0.001f);
    EXPECT_EQ(gpsAltitudeFromRaw(50000000u), 50000.0f);
    EXPECT_EQ(gpsAltitudeFromRaw(50000001u), 50000.0f);
    EXPECT_EQ(gpsAltitudeFromRaw(50000002u), 50000.00390625f);
}

TEST(TelemetryGps, PlausibilityLimitsPassOnTheAcceptingSide)
{
    EXPECT_TRUE(isPlausibleFix(90.0f, 180.0f, 0.0f, 250.0f, 250.0f));
    EXPECT_TRUE(isPlausibleFix(-90.0f, -180.0f, 50000.0f, 0.0f, 250.0f));
    EXPECT_FALSE(isPlausibleFix(90.0001f, 0.0f, 100.0f, 0.0f, 250.0f));
    EXPECT_FALSE(isPlausibleFix(-90.0001f, 0.0f, 100.0f, 0.0f, 250.0f));
    EXPECT_FALSE(isPlausibleFix(0.0f, 180.0001f, 100.0f, 0.0f, 250.0f));
    EXPECT_FALSE(isPlausibleFix(0.0f, -180.0001f, 100.0f, 0.0f, 250.0f));
    EXPECT_FALSE(isPlausibleFix(0.0f, 0.0f, -0.001f, 0.0f, 250.0f));
    EXPECT_FALSE(isPlausibleFix(0.0f, 0.0f, 50000.0039f, 0.0f, 250.0f));
    EXPECT_FALSE(isPlausibleFix(0.0f, 0.0f, 100.0f, 250.001f, 250.0f));
}

std::uint32_t raw(double degrees) { return static_cast<std::uint32_t>(rawAngle(degrees)); }

class TelemetryGpsBlocks : public ::testing::Test {
protected:
    void SetUp() override
    {
        d->params.rejectBogus = 1;
        d->params.maxRange = 1.0e9f;  // these cases are about the position limits
    }

    // Feeds one GPS block and returns whether it made a line.
    bool accepted(std::uint32_t latitude, std::uint32_t altitude,
                  std::uint32_t longitude = static_cast<std::uint32_t>(rawAngle(-76.98)))
    {
        GpsBlockFields fields = stationFix();
        fields.latitudeRaw = static_cast<std::int32_t>(latitude);
        fields.longitudeRaw = static_cast<std::int32_t>(longitude);
        fields.altitudeMm = static_cast<std::int32_t>(altitude);
        feed(*d, gpsBlock(fields));
        return !d->decodedDisplayText.takeAll().empty();
    }

    std::unique_ptr<Decoder> d = std::make_unique<Decoder>();
};

TEST_F(TelemetryGpsBlocks, LatitudeLimits)
{
    EXPECT_TRUE(accepted(0x40000000u, 1000));
    EXPECT_EQ(d->telemetry.latitudeAbs, 90.0f);
    EXPECT_EQ(d->telemetry.latitudeHemisphere, 'N');

    EXPECT_FALSE(accepted(0x40100000u, 1000));
    EXPECT_EQ(d->telemetry.latitude, 90.087890625f);  // the field holds it all the same
    EXPECT_EQ(d->telemetry.latitudeAbs, 90.0f);       // the accepted fix does not change

    EXPECT_TRUE(accepted(0xC0000000u, 1000));
    EXPECT_EQ(d->telemetry.latitudeAbs, 90.0f);
    EXPECT_EQ(d->telemetry.latitudeHemisphere, 'S');
    EXPECT_EQ(d->telemetry.longitudeHemisphere, 'W');

    EXPECT_TRUE(accepted(0x20000000u, 1000, 0x80000000u));  // 45 N, 180 W
    EXPECT_EQ(d->telemetry.longitudeAbs, 180.0f);
}

TEST_F(TelemetryGpsBlocks, AltitudeLimits)
{
    EXPECT_TRUE(accepted(raw(39.8), static_cast<std::uint32_t>(50000000)));
    EXPECT_TRUE(accepted(raw(39.8), static_cast<std::uint32_t>(50000001)));
    const PreviousFix before = d->telemetry.previousFix;
    const float rangeBefore = d->telemetry.range;
    EXPECT_FALSE(accepted(raw(39.9), static_cast<std::uint32_t>(50000002)));
    EXPECT_FALSE(accepted(raw(39.9), 0xFFFFFFFFu));
    EXPECT_EQ(d->telemetry.altitude, -0.001f);
    EXPECT_EQ(d->telemetry.previousFix.latitude, before.latitude);
    EXPECT_EQ(d->telemetry.previousFix.altitude, before.altitude);
    EXPECT_EQ(d->telemetry.range, rangeBefore);
    EXPECT_EQ(d->telemetry.goodPackets, 4);

    d->params.rejectBogus = 0;
    EXPECT_TRUE(accepted(raw(39.9), 0xFFFFFFFFu));
    EXPECT_TRUE(accepted(0x40100000u, 0xFFFFFFFFu));
}

TEST_F(TelemetryGpsBlocks, RangeCriterionUsesTheCurrentFix)
{
    d->params.maxRange = 250.0f;
    // About 333 km north of the station: too far.
    EXPECT_FALSE(accepted(raw(42.75), 1000000));
    EXPECT_EQ(d->telemetry.range, 0.0f);
    // About 5.6 km north: accepted.
    EXPECT_TRUE(accepted(raw(39.80), 1000000));
    EXPECT_NEAR(d->telemetry.range, 5.7f, 0.2f);

    // A distant fix accepted while the test was off must not lock out later near ones.
    d->params.rejectBogus = 0;
    EXPECT_TRUE(accepted(raw(42.75), 1000000));
    EXPECT_GT(d->telemetry.range, 300.0f);
    d->params.rejectBogus = 1;
    EXPECT_TRUE(accepted(raw(39.81), 1000000));
    EXPECT_LT(d->telemetry.range, 10.0f);
}

}  // namespace
}  // namespace nimbra
