// nimbra-decode's building blocks against hand-worked values: ISO 8601 times, option parsing,
// the CSV and JSON Lines records of one fix, and a stop request reaching a raw reader.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <unistd.h>
#include <vector>

#include "cli/options.h"
#include "formats/fix_format.h"
#include "formats/iso_time.h"
#include "formats/track_documents.h"
#include "input/sample_source.h"

namespace {

using namespace nimbra::cli;
using namespace nimbra::formats;
using namespace nimbra::input;

constexpr std::int64_t kMs = 1796537865000;  // 2026-12-06T06:17:45Z

TEST(CliTime, ParsesAndFormatsIso8601)
{
    EXPECT_EQ(parseIsoTime("2026-12-06T06:17:45Z"), kMs);
    EXPECT_EQ(parseIsoTime("2026-12-06 06:17:45"), kMs);  // no zone: UTC
    EXPECT_EQ(parseIsoTime("2026-12-06T07:17:45.250+01:00"), kMs + 250);
    EXPECT_EQ(parseIsoTime("2026-12-06T01:47:45-0430"), kMs);
    EXPECT_EQ(parseIsoTime("1970-01-01T00:00:00Z"), 0);
    EXPECT_EQ(parseIsoTime("2024-02-29T00:00:00Z"), 1709164800000);
    for (const char* bad : {"2026-02-29T00:00:00Z", "2026-13-01T00:00:00Z", "2026-12-06T24:00:00Z",
                            "2026-12-06", "2026-12-06T06:17:45+", "2026-12-06T06:17:45.Z",
                            "2026-12-06T06:17:45Zjunk", "yesterday", ""})
        EXPECT_FALSE(parseIsoTime(bad)) << bad;

    EXPECT_EQ(formatIsoTime(kMs + 999), "2026-12-06T06:17:45Z");
    EXPECT_EQ(formatIsoTime(0), "1970-01-01T00:00:00Z");
    EXPECT_EQ(formatIsoTime(-1), "1969-12-31T23:59:59Z");
}

TEST(CliOptions, ParsesValuesAndForms)
{
    ParseOutcome p = parseOptions({"--demod=pattern", "--samples-per-bit", "5", "--station",
                                   "-33.9,18.6,42", "--threshold", "1500", "--format", "jsonl",
                                   "--start-time", "2026-12-06T06:17:45Z", "--", "-odd-name.wav"});
    ASSERT_EQ(p.error, "");
    EXPECT_EQ(p.options.demodType, 2);
    EXPECT_EQ(p.options.samplesPerBit, 5.0f);
    EXPECT_EQ(p.options.stationLat, -33.9f);
    EXPECT_EQ(p.options.stationLon, 18.6f);
    EXPECT_EQ(p.options.stationAlt, 42.0f);
    EXPECT_EQ(p.options.threshold, 1500.0f);
    EXPECT_EQ(p.options.format, OutputFormat::Jsonl);
    EXPECT_EQ(p.options.startTimeMs, kMs);
    EXPECT_EQ(p.options.input, "-odd-name.wav");

    p = parseOptions({"-"});
    ASSERT_EQ(p.error, "");
    EXPECT_FALSE(p.options.demodType);
    EXPECT_EQ(p.options.channel, 1);
    EXPECT_EQ(p.options.format, OutputFormat::Text);

    // Raw stdin: the chosen channel must exist among the declared ones.
    EXPECT_EQ(parseOptions({"--channels", "2", "--channel", "2", "-"}).error, "");
    EXPECT_NE(parseOptions({"--channel", "2", "-"}).error, "");
    EXPECT_TRUE(parseOptions({"--help"}).options.help);
    EXPECT_NE(parseOptions({"--station", "1,2,3,4", "x.wav"}).error, "");
    EXPECT_NE(parseOptions({"--gpx", "t.xml", "--kml", "t.xml", "x.wav"}).error, "");
}

TEST(CliOptions, IqInputTakesItsFormatAndRateAndRefusesAudioOptions)
{
    ParseOutcome p = parseOptions({"--iq", "cu8", "--rate", "2400000", "-"});
    ASSERT_EQ(p.error, "");
    EXPECT_EQ(p.options.iqFormat, nimbra::iq::IqFormat::Cu8);
    EXPECT_EQ(p.options.rate, 2400000.0);
    p = parseOptions({"--iq=wav", "--demod", "sync", "--format", "csv", "flight.wav"});
    ASSERT_EQ(p.error, "");
    EXPECT_EQ(p.options.iqFormat, nimbra::iq::IqFormat::Wave);

    // One line naming the problem for each malformed combination.
    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"--iq", "u8", "--rate", "48000", "-"},
          {"--iq", "cs16", "-"},
          {"--iq", "cf32", "--rate", "47999", "-"},
          {"--iq", "cf32", "--rate", "10000001", "-"},
          {"--iq", "cu8", "--rate", "2400000", "--freq", "1680X", "-"},
          {"--iq", "cu8", "--rate", "2400000", "--max-sondes", "0", "-"},
          {"--iq", "cu8", "--rate", "2400000", "--invert", "-"},
          {"--iq", "cu8", "--rate", "2400000", "--demod", "edge", "-"},
          {"--iq", "cu8", "--rate", "2400000", "--channels", "2", "-"},
          {"--iq", "cu8", "--rate", "2400000", "--raw", "x.cu8"},
          {"--iq"}}) {
        const std::string error = parseOptions(bad).error;
        EXPECT_NE(error, "") << bad[1];
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    }
    EXPECT_NE(parseOptions({"--iq", "cs16", "-"}).error.find("needs --rate"), std::string::npos);

    // A WAVE file's own rate may be repeated (its header decides when the file is opened); the
    // tuned frequency in any of the ways users write it; the number of sondes at once.
    EXPECT_EQ(parseOptions({"--iq", "wav", "--rate", "48000", "x.wav"}).error, "");
    for (const char* freq : {"1680M", "1680000000", "1680e6", "1.68G", "1680.5m"}) {
        const ParseOutcome f = parseOptions({"--iq", "cu8", "--rate", "2400000", "--freq", freq, "-"});
        ASSERT_EQ(f.error, "") << freq;
        EXPECT_NEAR(*f.options.tunedHz, freq[4] == '.' ? 1680.5e6 : 1680e6, 1e-3) << freq;
    }
    EXPECT_EQ(parseOptions({"--iq", "cu8", "--rate", "2400000", "-"}).options.maxSondes, 8);
    EXPECT_EQ(parseOptions({"--iq", "cu8", "--rate", "2400000", "--max-sondes", "3", "-"}).options.maxSondes, 3);
    EXPECT_EQ(parseOptions({"--iq", "cs16", "--rate", "10000000", "-"}).error, "");
}

TEST(CliFormats, CsvAndJsonOfOneFix)
{
    nimbra::FlightFix fix;
    nimbra::FixRecord& r = fix.record;
    r.timeMs = kMs;
    r.transmitterId = 0x00AB;
    r.timeCounter = 1234;
    r.latitude = 39.75f;
    r.longitude = -76.98f;  // held as -76.9800034
    r.altitude = 220.5f;
    r.azimuth = 90.25f;
    r.elevation = -0.5f;
    r.range = 1.234f;
    r.ascent = 4.5f;
    r.velocity = 7.25f;
    r.direction = 352.0f;
    r.crcGood = false;
    r.bitsRepaired = 1;
    EXPECT_EQ(csvHeader(),
              "time,id,counter,latitude,longitude,altitude_m,azimuth,elevation,range_km,ascent_mps,"
              "velocity_mps,direction,crc_good,bits_repaired,ptu_1,ptu_2,ptu_3,ptu_4,ptu_5,ptu_6,"
              "ptu_7,ptu_8,ptu_9,ptu_10,ptu_11,ptu_12,ptu_13,trusted,phase,pred_lat,pred_lon,pred_time\n");
    EXPECT_EQ(csvRow(fix), "2026-12-06T06:17:45Z,00AB,1234,39.750000,-76.980003,220.500,90.250,-0.500,"
                           "1.234,4.500,7.250,352.000,false,1,,,,,,,,,,,,,,true,unknown,,,\n");
    EXPECT_EQ(jsonLine(fix),
              "{\"time\":\"2026-12-06T06:17:45Z\",\"id\":\"00AB\",\"counter\":1234,\"latitude\":39.750000,"
              "\"longitude\":-76.980003,\"altitude_m\":220.500,\"azimuth\":90.250,\"elevation\":-0.500,"
              "\"range_km\":1.234,\"ascent_mps\":4.500,\"velocity_mps\":7.250,\"direction\":352.000,"
              "\"crc_good\":false,\"bits_repaired\":1,\"ptu\":null,\"trusted\":true,\"phase\":\"unknown\","
              "\"pred_lat\":null,\"pred_lon\":null,\"pred_time\":null}\n");

    r.hasPtu = true;
    for (int k = 0; k < 13; ++k)
        r.ptuChannels[k] = 65536.0f - 1000.0f * k;
    r.ptuChannels[12] = -65536.0f;
    const std::string row = csvRow(fix);
    EXPECT_NE(row.find(",false,1,65536.0,64536.0,63536.0,"), std::string::npos) << row;
    EXPECT_NE(row.find(",54536.0,-65536.0,true,"), std::string::npos) << row;
    const std::string json = jsonLine(fix);
    EXPECT_NE(json.find("\"ptu\":[65536.0,64536.0,"), std::string::npos) << json;
    EXPECT_NE(json.find(",54536.0,-65536.0],\"trusted\""), std::string::npos) << json;

    r.azimuth = std::nanf("");
    EXPECT_NE(jsonLine(fix).find("\"azimuth\":null,"), std::string::npos);

    // What the flight tracking adds.
    fix.trusted = false;
    fix.phase = nimbra::FlightPhase::Descent;
    fix.prediction.valid = true;
    fix.prediction.landing = {39.8123456789, -77.05, 210.0, kMs + 754999};
    EXPECT_NE(csvRow(fix).find(",false,descent,39.812346,-77.050000,2026-12-06T06:30:19Z\n"), std::string::npos)
        << csvRow(fix);
    EXPECT_NE(jsonLine(fix).find(",\"trusted\":false,\"phase\":\"descent\",\"pred_lat\":39.812346,"
                                 "\"pred_lon\":-77.050000,\"pred_time\":\"2026-12-06T06:30:19Z\"}\n"),
              std::string::npos)
        << jsonLine(fix);
}

TEST(CliFormats, TrackDocumentsTakeTrustedFixesAndTheLatestPrediction)
{
    std::vector<nimbra::FlightFix> fixes(4);
    for (int i = 0; i < 4; ++i) {
        nimbra::FixRecord& r = fixes[i].record;
        r.timeMs = kMs + 1000 * i;
        r.transmitterId = 0x1A2B;
        r.latitude = 39.5f + 0.125f * static_cast<float>(i);
        r.longitude = -77.0f;
        r.altitude = 1000.0f + 5.0f * static_cast<float>(i);
    }
    fixes[2].trusted = false;  // a corrupted block: neither in the track nor the last position
    fixes[2].record.latitude = 45.0f;
    nimbra::LandingPrediction& p = fixes[3].prediction;
    p.valid = true;
    p.burstObserved = true;
    p.burst = {39.75, -77.0, 30123.4, kMs - 600000};
    p.landing = {39.875, -76.5, 200.0, kMs + 1800000};
    p.path = {{39.875, -77.0, 1015.0, kMs + 3000}, {39.875, -76.5, 200.0, kMs + 1800000}};
    fixes[1].prediction = p;
    fixes[1].prediction.landing.latitude = 10.0;  // an older prediction: not shown
    const Station station{39.75f, -76.98f, 220.0f};

    const std::string gpx = gpxDocument(fixes, station);
    EXPECT_EQ(gpx.find("lat=\"45.0000000\""), std::string::npos) << gpx;
    EXPECT_NE(gpx.find("lat=\"39.8750000\" lon=\"-77.0000000\"><ele>1015.0</ele>"), std::string::npos) << gpx;
    std::size_t points = 0;
    for (std::size_t at = 0; (at = gpx.find("<trkpt ", at)) != std::string::npos; ++at)
        ++points;
    EXPECT_EQ(points, 3u);

    const std::string kml = kmlDocument(fixes, station);
    EXPECT_EQ(kml.find("45.0000000"), std::string::npos) << kml;
    EXPECT_EQ(kml.find(",10.0000000,"), std::string::npos) << kml;
    EXPECT_NE(kml.find("<name>Burst</name>\n      <description>highest point 30123 m</description>"),
              std::string::npos)
        << kml;
    EXPECT_NE(kml.find("<name>Predicted landing</name>\n      <description>landing at 2026-12-06T06:47:45Z"
                       "</description>"),
              std::string::npos)
        << kml;
    EXPECT_NE(kml.find("<coordinates>-76.5000000,39.8750000,200.0</coordinates>"), std::string::npos) << kml;
    EXPECT_NE(kml.find("<name>Predicted path</name>"), std::string::npos) << kml;
    EXPECT_NE(kml.find("          -77.0000000,39.8750000,1015.0\n          -76.5000000,39.8750000,200.0\n"),
              std::string::npos)
        << kml;
    // The newest trusted fix without a prediction: none shown.
    fixes[3].prediction.valid = false;
    EXPECT_EQ(kmlDocument(fixes, station).find("Predicted"), std::string::npos);
}

TEST(CliOptions, FlightTrackingOptions)
{
    ParseOutcome p = parseOptions({"--trust", "off", "--burst-altitude", "25000", "--ground-altitude=85",
                                   "--ascent-rate", "6.5", "--descent-rate", "4", "in.wav"});
    ASSERT_EQ(p.error, "");
    EXPECT_FALSE(p.options.trust);
    EXPECT_EQ(p.options.burstAltitudeM, 25000.0);
    EXPECT_EQ(p.options.groundAltitudeM, 85.0);
    EXPECT_EQ(p.options.ascentRateMps, 6.5);
    EXPECT_EQ(p.options.descentRateMps, 4.0);
    p = parseOptions({"in.wav"});
    EXPECT_TRUE(p.options.trust);
    EXPECT_FALSE(p.options.burstAltitudeM);
    EXPECT_NE(parseOptions({"--trust", "yes", "in.wav"}).error.find("--trust: expected on or off"), std::string::npos);
    EXPECT_NE(parseOptions({"--ascent-rate", "0.1", "in.wav"}).error.find("from 0.5 to 50"), std::string::npos);
}

// A stop requested before the reader starts waiting on a silent pipe (the signal landed between
// the read loop's check and the wait) ends the wait at once instead of after the next data.
TEST(CliRawReader, StopRequestedBeforeTheWaitIsNotMissed)
{
    ::alarm(20);  // a missed stop would wait for ever: end the run instead
    int data[2], stop[2];
    ASSERT_EQ(::pipe(data), 0);
    ASSERT_EQ(::pipe(stop), 0);
    std::unique_ptr<SampleSource> source = openRawSource(data[0], "pipe", 48000.0, 1, 0);
    source->setStopFd(stop[0]);
    const unsigned char sample[] = {0x34, 0x12};
    ASSERT_EQ(::write(data[1], sample, sizeof sample), 2);
    std::vector<float> out;
    EXPECT_EQ(source->read(out, 16), 1);
    EXPECT_FALSE(source->interrupted());

    ASSERT_EQ(::write(stop[1], "x", 1), 1);
    EXPECT_EQ(source->read(out, 16), -1);  // the data pipe is still open and empty
    EXPECT_TRUE(source->interrupted());
    EXPECT_EQ(out, std::vector<float>{4660.0f});
    for (int fd : {data[1], stop[0], stop[1]})
        ::close(fd);
    ::alarm(0);
}

}  // namespace

TEST(CliOptions, ChaseOptions)
{
    // gpsd and a typed-in position together: the typed one stands until the GPS's first fix.
    ParseOutcome p = parseOptions({"--station", "gpsd:car:2948", "--station", "48.1,11.5,520", "--rotator",
                                   "shack:4600", "--rotator-threshold=2.5", "--rotator-interval", "3",
                                   "--rotator-azimuth-only", "--rotator-home", "180,5,10", "--rotator-sonde", "1a2b",
                                   "--sondehub", "N0CALL", "--sondehub-chase", "-"});
    ASSERT_EQ(p.error, "");
    const ChaseOptions& c = p.options.chase;
    ASSERT_TRUE(c.gpsd);
    EXPECT_EQ(c.gpsd->host, "car");
    EXPECT_EQ(c.gpsd->port, 2948);
    EXPECT_EQ(p.options.stationLat, 48.1f);
    ASSERT_TRUE(c.rotator);
    EXPECT_EQ(c.rotator->port, 4600);
    EXPECT_EQ(c.rotatorSettings.thresholdDeg, 2.5);
    EXPECT_EQ(c.rotatorSettings.intervalS, 3.0);
    EXPECT_TRUE(c.rotatorSettings.azimuthOnly);
    EXPECT_EQ(c.rotatorSettings.homeAzimuth, 180.0);
    EXPECT_EQ(c.rotatorSettings.homeElevation, 5.0);
    EXPECT_EQ(c.rotatorSettings.homeAfterS, 600.0);
    EXPECT_EQ(c.rotatorSonde, 0x1A2Bu);
    EXPECT_TRUE(c.sondehubChase);

    const std::pair<std::vector<std::string>, const char*> bad[] = {
        {{"--station", "gpsd:", "-"}, "expected a host after gpsd:"},
        {{"--station", "gpsdd", "-"}, "LAT,LON,ALT"},
        {{"--rotator-threshold", "3", "-"}, "add --rotator HOST[:PORT]"},
        {{"--rotator", "shack", "--rotator-threshold", "0", "-"}, "expected 0.1 to 90 degrees"},
        {{"--rotator", "shack", "--rotator-home", "180,5", "-"}, "expected AZ,EL,MINUTES"},
        {{"--rotator", "shack", "--rotator-home", "360,5,10", "-"}, "expected AZ,EL,MINUTES"},
        {{"--rotator", "shack", "--rotator-sonde", "12345", "-"}, "1 to 4 hexadecimal digits"},
        {{"--rotator", "shack", "--rotator-sonde", "xyz", "-"}, "1 to 4 hexadecimal digits"},
        {{"--rotator", "shack:0", "-"}, "from 1 to 65535"},
        {{"--sondehub", "N0CALL", "--sondehub-chase", "-"}, "needs --sondehub and --station gpsd"},
        {{"--station", "gpsd", "--sondehub-chase", "-"}, "needs --sondehub and --station gpsd"},
        {{"--sondehub-chase=yes", "-"}, "takes no value"},
    };
    for (const auto& [args, message] : bad) {
        const std::string error = parseOptions(args).error;
        EXPECT_NE(error.find(message), std::string::npos) << args[0] << " " << args[1] << ": " << error;
    }
}
