// Decoded-text lines: time stamp, line format, PTU options, the two accumulators, the fix
// listener, and independence from the process locale.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <locale.h>
#include <memory>
#include <string>

#include "support/blocks.h"
#include "telemetry/time_stamp.h"

namespace nimbra {
namespace {

using namespace nimbra::testing;

std::string stampOf(std::int64_t ms)
{
    char out[kTimeStampSize];
    formatTimeStamp(ms, out);
    return out;
}

TEST(DecodedLine, TimeStamps)
{
    EXPECT_EQ(stampOf(kFixedTimeMs), "06 Dec 2026 06:17:45");
    EXPECT_EQ(stampOf(kFixedTimeMs + 999), "06 Dec 2026 06:17:45");
    EXPECT_EQ(stampOf(0), "01 Jan 1970 00:00:00");
    EXPECT_EQ(stampOf(-1), "31 Dec 1969 23:59:59");
    EXPECT_EQ(stampOf(1709251199000LL), "29 Feb 2024 23:59:59");
    EXPECT_EQ(stampOf(1709251200000LL), "01 Mar 2024 00:00:00");
    EXPECT_EQ(stampOf(951782400000LL), "29 Feb 2000 00:00:00");
}

class DecodedLines : public ::testing::Test {
protected:
    void SetUp() override
    {
        d->setClock([] { return kFixedTimeMs; });
    }

    std::string lineFor(const GpsBlockFields& fields = stationFix())
    {
        feed(*d, gpsBlock(fields));
        return d->decodedDisplayText.takeAll();
    }

    std::unique_ptr<Decoder> d = std::make_unique<Decoder>();
};

TEST_F(DecodedLines, Format)
{
    EXPECT_EQ(lineFor(), "06 Dec 2026 06:17:45 1A2B 1234 39.75000N 76.98000W 220\r");

    GpsBlockFields fields = stationFix();
    fields.transmitterId = 0x00AB;
    fields.timeCounter = 7;
    fields.latitudeRaw = 0;
    fields.longitudeRaw = 0;
    fields.altitudeMm = 1499;  // 1.499 m to the nearest metre
    EXPECT_EQ(lineFor(fields), "06 Dec 2026 06:17:45 00AB 7 0.00000N 0.00000E 1\r");

    fields.latitudeRaw = rawAngle(-33.5);
    fields.longitudeRaw = rawAngle(151.25);
    fields.altitudeMm = -12000;
    fields.timeCounter = 65535;
    EXPECT_EQ(lineFor(fields), "06 Dec 2026 06:17:45 00AB 65535 33.50000S 151.25000E -12\r");
    EXPECT_EQ(d->telemetry.latitudeHemisphere, 'S');
    EXPECT_EQ(d->telemetry.longitudeHemisphere, 'E');
}

TEST_F(DecodedLines, PtuOptions)
{
    d->params.displayPsuData = 1;
    EXPECT_EQ(lineFor(), "06 Dec 2026 06:17:45 1A2B 1234 39.75000N 76.98000W 220 \r");
    d->params.displayCalibrationData = 1;
    EXPECT_EQ(lineFor(), "06 Dec 2026 06:17:45 1A2B 1234 39.75000N 76.98000W 220  \r");

    PtuBlockFields ptu;
    for (auto& channel : ptu.channels)
        channel = {0x02, 0xFFFB};  // 5.0
    ptu.calibration[0] = 0xC3;
    feed(*d, ptuBlock(ptu));
    feed(*d, gpsBlock());  // the PTU values of the latest block, however old
    const std::string line = lineFor();
    std::string psu;
    for (int k = 0; k < 13; ++k)
        psu += "    5.0 ";
    const std::string calibration = "C3 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 ";
    const std::string head = "06 Dec 2026 06:17:45 1A2B 1234 39.75000N 76.98000W 220";
    EXPECT_EQ(line, head + " " + psu + " " + calibration + "\r" + head + " " + psu + " " +
                        calibration + "\r");

    d->params.displayPsuData = 0;
    EXPECT_EQ(lineFor(), head + " " + calibration + "\r");
}

TEST_F(DecodedLines, RecordAccumulatorOnlyWhileRecording)
{
    feed(*d, gpsBlock());
    EXPECT_TRUE(d->decodedRecordText.empty());
    d->params.recordDecodedText = 1;
    GpsBlockFields fields = stationFix();
    fields.timeCounter = 1235;
    feed(*d, gpsBlock(fields));
    EXPECT_EQ(d->decodedRecordText.takeAll(),
              "06 Dec 2026 06:17:45 1A2B 1235 39.75000N 76.98000W 220\r");
    EXPECT_EQ(d->decodedDisplayText.takeAll(),
              "06 Dec 2026 06:17:45 1A2B 1234 39.75000N 76.98000W 220\r"
              "06 Dec 2026 06:17:45 1A2B 1235 39.75000N 76.98000W 220\r");
    // Take-and-clear leaves both empty.
    EXPECT_TRUE(d->decodedRecordText.empty());
    EXPECT_EQ(d->decodedDisplayText.takeAll(), "");
}

TEST_F(DecodedLines, FixListenerGetsTheLineWithoutCarriageReturn)
{
    std::vector<FixRecord> fixes;
    std::vector<std::string> lines;
    d->setFixListener([&](const FixRecord& f) {
        fixes.push_back(f);
        lines.emplace_back(f.line);
    });
    GpsBlockFields fields = stationFix();
    fields.timeCounter = 100;
    fields.altitudeMm = 1000000;
    feed(*d, gpsBlock(fields));
    PtuBlockFields ptu;
    ptu.channels[12] = {0x02, 0x0000};
    feed(*d, ptuBlock(ptu));
    fields.timeCounter = 110;
    fields.altitudeMm = 1050000;
    feed(*d, gpsBlock(fields));

    ASSERT_EQ(fixes.size(), 2u);
    EXPECT_EQ(lines[1], "06 Dec 2026 06:17:45 1A2B 110 39.75000N 76.98000W 1050");
    EXPECT_EQ(fixes[1].timeMs, kFixedTimeMs);
    EXPECT_FALSE(fixes[0].hasPtu);
    EXPECT_TRUE(fixes[1].hasPtu);
    EXPECT_EQ(fixes[1].ptuChannels[12], 65536.0f);
    EXPECT_FLOAT_EQ(fixes[1].ascent, 0.5f);
    EXPECT_FLOAT_EQ(fixes[1].altitude, 1050.0f);
    EXPECT_EQ(d->telemetry.previousFix.timeCounter, 110);
    EXPECT_EQ(d->telemetry.previousFix.altitude, 1050.0f);
}

TEST_F(DecodedLines, FixWithoutForwardCounterStillBecomesTheReference)
{
    GpsBlockFields fields = stationFix();
    fields.timeCounter = 100;
    fields.altitudeMm = 1000000;
    feed(*d, gpsBlock(fields));
    fields.altitudeMm = 2000000;  // same counter: no motion step
    feed(*d, gpsBlock(fields));
    EXPECT_EQ(d->telemetry.ascent, 0.0f);
    EXPECT_EQ(d->telemetry.previousFix.altitude, 2000.0f);
    fields.timeCounter = 110;
    fields.altitudeMm = 2050000;
    feed(*d, gpsBlock(fields));
    EXPECT_FLOAT_EQ(d->telemetry.ascent, 0.5f);
}

// A numeric locale with a decimal comma, as the desktop program gets from LC_ALL=de_DE.UTF-8.
// Uses the installed locale or compiles a private copy; skips when neither is possible.
bool useGermanNumericLocale()
{
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8"))
        return true;
    // Compiled once per machine into the temporary directory; later runs reuse it.
    const std::string dir = ::testing::TempDir() + "nimbra_locales";
    const std::string command = "test -s '" + dir + "/de_DE.UTF-8/LC_NUMERIC' || { mkdir -p '" +
                                dir + "' && localedef -i de_DE -f UTF-8 '" + dir +
                                "/de_DE.UTF-8' >/dev/null 2>&1; }";
    if (std::system(command.c_str()) != 0)
        return false;
    setenv("LOCPATH", dir.c_str(), 1);
    const bool ok = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
    unsetenv("LOCPATH");
    return ok;
}

TEST_F(DecodedLines, FormattingIgnoresTheProcessLocale)
{
    if (!useGermanNumericLocale())
        GTEST_SKIP() << "no de_DE.UTF-8 locale available or creatable";
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 1.5);
    const bool comma = std::string(probe) == "1,5";

    d->params.displayPsuData = 1;
    PtuBlockFields ptu;
    ptu.channels[0] = {0x02, 0xFFFB};
    feed(*d, ptuBlock(ptu));
    const std::string line = lineFor();
    std::setlocale(LC_NUMERIC, "C");

    ASSERT_TRUE(comma) << "the test locale did not take effect";
    EXPECT_EQ(line.substr(0, 63),
              "06 Dec 2026 06:17:45 1A2B 1234 39.75000N 76.98000W 220     5.0 ");
}

}  // namespace
}  // namespace nimbra
