// The messages the outputs send, field by field, against values worked out by hand: the chase-map
// datagram, the SondeHub telemetry and listener objects, the HTTP date and gzip body, the serial
// template and the motion warm-up.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <regex>
#include <zlib.h>

#include "formats/iso_time.h"
#include "outputs/chase_message.h"
#include "outputs/fix_context.h"
#include "outputs/http_put.h"
#include "outputs/software.h"
#include "outputs/sondehub_telemetry.h"
#include "test_fixes.h"

namespace nimbra::outputs {
namespace {

using nlohmann::json;
using test::makeFix;

TEST(ChaseMessage, FieldsNamesAndTypes)
{
    const FlightFix fix = makeFix(1234);  // 34 s after 06:17:45.250
    const json m = json::parse(chaseMessage(fix, FixContext{"1A2B", true}, "Mark IIa", "hilltop"));
    EXPECT_EQ(m["type"], "PAYLOAD_SUMMARY");
    EXPECT_EQ(m["callsign"], "1A2B");
    ASSERT_TRUE(m["latitude"].is_number_float());
    EXPECT_DOUBLE_EQ(m["latitude"].get<double>(), 39.751347);
    EXPECT_DOUBLE_EQ(m["longitude"].get<double>(), -76.982674);
    ASSERT_TRUE(m["altitude"].is_number_integer());
    EXPECT_EQ(m["altitude"], 1235);  // 1234.56 rounded
    ASSERT_TRUE(m["speed"].is_number_integer());
    EXPECT_EQ(m["speed"], 27);       // 7.46 m/s = 26.856 km/h
    EXPECT_EQ(m["heading"], 0);      // 359.6 rounds to 360: north
    EXPECT_EQ(m["time"], "06:18:19");
    EXPECT_EQ(m["model"], "Mark IIa");
    EXPECT_EQ(m["frame"], 1234);
    EXPECT_EQ(m["sats"], 8);
    EXPECT_EQ(m["comment"], "Nimbra");
    EXPECT_EQ(m["station"], "hilltop");
}

TEST(ChaseMessage, UnknownMotionAndSatellites)
{
    FlightFix fix = makeFix(1200);
    fix.satellites = -1;
    const json m = json::parse(chaseMessage(fix, FixContext{"1A2B", false}, "Mark IIa", "s"));
    EXPECT_EQ(m["speed"], -1);
    EXPECT_EQ(m["heading"], -1);
    EXPECT_FALSE(m.contains("sats"));
}

TEST(ChaseMessage, CommentCarriesThePredictedLanding)
{
    FlightFix fix = makeFix(1200);
    fix.prediction.valid = true;
    fix.prediction.landing.latitude = 39.812341;
    fix.prediction.landing.longitude = -76.543208;
    fix.prediction.landing.timeMs = test::kFixTimeMs + 3600 * 1000;
    EXPECT_EQ(chaseComment(fix), "Nimbra; landing 39.81234,-76.54321 at 07:17:45Z");
    const json m = json::parse(chaseMessage(fix, FixContext{"1A2B", true}, "t", "s"));
    EXPECT_EQ(m["comment"], chaseComment(fix));
}

TEST(ChaseMessage, ForeignBytesInSettingsDoNotBreakTheMessage)
{
    const std::string bad = "st\xff" "ation";
    const json m = json::parse(chaseMessage(makeFix(1200), FixContext{"1A2B", true}, "t", bad));
    EXPECT_EQ(m["station"], "st\xef\xbf\xbd" "ation");
}

TEST(SondeHubTelemetry, RequiredAndKnownFields)
{
    SondeIdentity identity;
    Uploader uploader{"N0CALL", formats::Station{39.75f, -76.98f, 220.0f}};
    const json t = json::parse(telemetryObject(makeFix(1234), FixContext{"1A2B", true}, identity, uploader));
    EXPECT_EQ(t["software_name"], "Nimbra");
    EXPECT_EQ(t["software_version"], kSoftwareVersion);
    EXPECT_EQ(t["uploader_callsign"], "N0CALL");
    EXPECT_EQ(t["time_received"], "2026-12-07T06:18:19.250000Z");
    EXPECT_EQ(t["datetime"], "2026-12-07T06:18:19.250000Z");
    EXPECT_EQ(t["manufacturer"], "Mark IIa");
    EXPECT_EQ(t["type"], "Mark IIa");
    EXPECT_EQ(t["serial"], "1A2B");
    ASSERT_TRUE(t["frame"].is_number_integer());
    EXPECT_EQ(t["frame"], 1234);
    EXPECT_DOUBLE_EQ(t["lat"].get<double>(), 39.751347);
    EXPECT_DOUBLE_EQ(t["lon"].get<double>(), -76.982674);
    EXPECT_DOUBLE_EQ(t["alt"].get<double>(), 1234.6);
    EXPECT_DOUBLE_EQ(t["vel_v"].get<double>(), 5.0);
    EXPECT_DOUBLE_EQ(t["vel_h"].get<double>(), 7.5);
    EXPECT_DOUBLE_EQ(t["heading"].get<double>(), 359.6);
    EXPECT_EQ(t["sats"], 8);
    EXPECT_EQ(t["uploader_position"], json::parse("[39.75,-76.98,220.0]"));
}

TEST(SondeHubTelemetry, UnknownValuesAreLeftOut)
{
    FlightFix fix = makeFix(1200);
    fix.satellites = -1;
    const json t = json::parse(telemetryObject(fix, FixContext{"1A2B", false}, SondeIdentity{}, Uploader{"C", {}}));
    for (const char* key : {"vel_v", "vel_h", "heading", "sats", "uploader_position"})
        EXPECT_FALSE(t.contains(key)) << key;
}

TEST(SondeHubTelemetry, ListenerObject)
{
    const json l = json::parse(listenerObject(Uploader{"N0CALL", formats::Station{-34.5f, 138.25f, 12.0f}}));
    EXPECT_EQ(l["software_name"], "Nimbra");
    EXPECT_EQ(l["uploader_callsign"], "N0CALL");
    EXPECT_EQ(l["uploader_position"], json::parse("[-34.5,138.25,12.0]"));
    EXPECT_EQ(l["mobile"], false);
}

TEST(SondeHubTelemetry, MicrosecondTimes)
{
    EXPECT_EQ(formats::formatIsoTimeMicros(0), "1970-01-01T00:00:00.000000Z");
    EXPECT_EQ(formats::formatIsoTimeMicros(test::kFixTimeMs), "2026-12-07T06:17:45.250000Z");
    EXPECT_EQ(formats::formatIsoTimeMicros(-1), "1969-12-31T23:59:59.999000Z");
}

TEST(HttpPieces, DateHeaderIsImfFixdate)
{
    EXPECT_EQ(httpDate(784111777), "Sun, 06 Nov 1994 08:49:37 GMT");
    EXPECT_EQ(httpDate(test::kFixTimeMs / 1000), "Mon, 07 Dec 2026 06:17:45 GMT");
    EXPECT_TRUE(std::regex_match(std::string(userAgent()), std::regex("Nimbra-[0-9]+\\.[0-9]+\\.[0-9]+")));
}

TEST(HttpPieces, GzipBodyInflatesToTheJson)
{
    const std::string body = "[" + std::string(5000, ' ') + "{\"a\":1}]";
    const std::string packed = gzipCompressed(body);
    ASSERT_GE(packed.size(), 18u);
    EXPECT_EQ(static_cast<unsigned char>(packed[0]), 0x1F);  // gzip magic
    EXPECT_EQ(static_cast<unsigned char>(packed[1]), 0x8B);
    z_stream z{};
    ASSERT_EQ(inflateInit2(&z, 15 + 16), Z_OK);
    std::string out(body.size() + 16, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
    z.avail_in = static_cast<uInt>(packed.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(inflate(&z, Z_FINISH), Z_STREAM_END);
    out.resize(z.total_out);
    inflateEnd(&z);
    EXPECT_EQ(out, body);
    EXPECT_LT(packed.size(), body.size() / 10);
}

TEST(FixContext, SerialTemplate)
{
    SondeIdentity id;
    EXPECT_EQ(id.serialOf(0x1A2B), "1A2B");
    EXPECT_EQ(id.serialOf(0x00FF), "00FF");
    id.serialTemplate = "MK-{id}-{id}";
    EXPECT_EQ(id.serialOf(0xBEEF), "MK-BEEF-BEEF");
    id.serialTemplate = "1234567";
    EXPECT_EQ(id.serialOf(0xBEEF), "1234567");
}

TEST(FixContext, MotionIsKnownAfterTheSmoothingHasSettled)
{
    FixContextMaker maker{SondeIdentity{}};
    for (int i = 1; i < FixContextMaker::kMotionWarmupFixes; ++i)
        EXPECT_FALSE(maker.make(makeFix(1200 + static_cast<unsigned>(i))).motionKnown) << i;
    EXPECT_TRUE(maker.make(makeFix(1300)).motionKnown);
    EXPECT_TRUE(maker.make(makeFix(1301)).motionKnown);
    // Another transmitter: its values still hold the last sonde's motion.
    FlightFix other = makeFix(5);
    other.record.transmitterId = 0x2222;
    EXPECT_FALSE(maker.make(other).motionKnown);
    EXPECT_EQ(maker.make(other).serial, "2222");
}

}  // namespace
}  // namespace nimbra::outputs
