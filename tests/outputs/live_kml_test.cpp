// The live KML: the document's parts, the bounds that keep a days-long station's memory flat, and
// the file on disk: written whole, at most every 5 s, with its NetworkLink beside it.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "outputs/live_kml_output.h"
#include "test_fixes.h"

namespace nimbra::outputs {
namespace {

int count(const std::string& text, const std::string& part)
{
    int n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

const formats::Station kStation{39.75f, -76.98f, 220.0f};

TEST(LiveKmlDocument, TrackPositionStationLineOfSightAndLanding)
{
    std::vector<LiveTrack> tracks;
    LandingPrediction none;
    LiveKmlOutput::addPoint(tracks, "1A2B", LivePoint{39.76f, -76.97f, 1000.0f, test::kFixTimeMs}, false, none);
    LiveKmlOutput::addPoint(tracks, "1A2B", LivePoint{39.77f, -76.96f, 1500.5f, test::kFixTimeMs + 1000}, false, none);
    std::string kml = liveKmlDocument(tracks, kStation);
    EXPECT_EQ(count(kml, "<Folder>"), 1);
    EXPECT_EQ(count(kml, "<extrude>1</extrude>"), 1);
    EXPECT_EQ(count(kml, "<altitudeMode>absolute</altitudeMode>"), 4);  // station, track, position, sight
    // The line of sight: the station (-76.98 as a 32-bit float is -76.98000336), then the sonde.
    EXPECT_NE(kml.find("-76.9800034,39.7500000,220.0\n            -76.9599991,39.7700005,1500.5"), std::string::npos);
    EXPECT_NE(kml.find("<styleUrl>#ascending</styleUrl>"), std::string::npos);
    EXPECT_NE(kml.find("<when>2026-12-07T06:17:46Z</when>"), std::string::npos);
    EXPECT_NE(kml.find("<name>Station</name>"), std::string::npos);
    EXPECT_EQ(kml.find("predicted landing"), std::string::npos);

    LandingPrediction landing;
    landing.valid = true;
    landing.landing = PredictedPoint{39.9, -76.5, 200.0, test::kFixTimeMs + 3600000};
    LiveKmlOutput::addPoint(tracks, "1A2B", LivePoint{39.78f, -76.95f, 1400.0f, test::kFixTimeMs + 2000}, true, landing);
    kml = liveKmlDocument(tracks, kStation);
    EXPECT_NE(kml.find("<styleUrl>#descending</styleUrl>"), std::string::npos);
    EXPECT_NE(kml.find("<name>1A2B predicted landing</name>"), std::string::npos);
    EXPECT_NE(kml.find("-76.5000000,39.9000015,200.0"), std::string::npos);
}

TEST(LiveKmlDocument, NetworkLink)
{
    EXPECT_EQ(linkPathFor("/srv/live.kml"), "/srv/live-link.kml");
    EXPECT_EQ(linkPathFor("flight"), "flight-link.kml");
    EXPECT_EQ(linkPathFor(".kml"), ".kml-link.kml");
    const std::string link = networkLinkDocument("a&b.kml", 5);
    EXPECT_NE(link.find("<href>a&amp;b.kml</href>"), std::string::npos);
    EXPECT_NE(link.find("<refreshMode>onInterval</refreshMode>"), std::string::npos);
    EXPECT_NE(link.find("<refreshInterval>5</refreshInterval>"), std::string::npos);
}

TEST(LiveKmlDocument, MemoryStaysBounded)
{
    std::vector<LiveTrack> tracks;
    const LandingPrediction none;
    for (int i = 0; i < 3 * static_cast<int>(LiveKmlOutput::kMaxPoints); ++i)
        LiveKmlOutput::addPoint(tracks, "1A2B", LivePoint{40.0f, -77.0f, float(i), test::kFixTimeMs + i * 1000}, false, none);
    ASSERT_EQ(tracks.size(), 1u);
    EXPECT_LE(tracks[0].points.size(), LiveKmlOutput::kMaxPoints);
    EXPECT_GE(tracks[0].points.size(), LiveKmlOutput::kMaxPoints / 2);
    // The whole flight stays in the picture: first and last point are kept.
    EXPECT_EQ(tracks[0].points.front().altitude, 0.0f);
    EXPECT_EQ(tracks[0].points.back().altitude, float(3 * LiveKmlOutput::kMaxPoints - 1));
    // Sondes beyond the limit push out the one heard longest ago.
    for (unsigned id = 0; id < LiveKmlOutput::kMaxTracks + 2; ++id)
        LiveKmlOutput::addPoint(tracks, "S" + std::to_string(id), LivePoint{40.0f, -77.0f, 1.0f,
                                test::kFixTimeMs + 100000000 + id}, false, none);
    EXPECT_EQ(tracks.size(), LiveKmlOutput::kMaxTracks);
    EXPECT_EQ(tracks[0].serial, "S2");
}

class LiveKmlFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        char name[] = "/tmp/nimbra-live-kml.XXXXXX";
        ASSERT_NE(::mkdtemp(name), nullptr);
        folder_ = name;
    }
    void TearDown() override { std::system(("rm -rf '" + folder_ + "'").c_str()); }
    std::string folder_;
};

TEST_F(LiveKmlFile, RewrittenWholeAtMostEveryFiveSeconds)
{
    const std::string path = folder_ + "/live.kml";
    std::string error;
    auto kml = LiveKmlOutput::create(path, kStation, 100, nullptr, error);
    ASSERT_TRUE(kml) << error;
    EXPECT_NE(readFile(folder_ + "/live-link.kml").find("<href>live.kml</href>"), std::string::npos);

    kml->accept(test::makeFix(1200), FixContext{"1A2B", false});
    struct stat first {};
    for (int i = 0; i < 200 && ::stat(path.c_str(), &first) != 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(::stat(path.c_str(), &first), 0);
    // More fixes within the next second: the file is not replaced (a rename gives a new inode).
    for (unsigned counter = 1201; counter < 1210; ++counter) {
        kml->accept(test::makeFix(counter), FixContext{"1A2B", false});
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        struct stat now {};
        ASSERT_EQ(::stat(path.c_str(), &now), 0);
        EXPECT_EQ(now.st_ino, first.st_ino) << counter;
    }
    EXPECT_EQ(kml->status().sent, 1u);
    EXPECT_EQ(kml->status().waiting, 9u);
    // The end of the run writes the last state at once.
    kml->beginFinish(Clock::now() + std::chrono::seconds(5));
    kml->stop();
    const std::string text = readFile(path);
    // Ten track points and the far end of the line of sight.
    EXPECT_EQ(count(text, "            -76.9826736,39.7513466,1234.6\n"), 11);
    EXPECT_EQ(kml->status().sent, 10u);
    // No temporary file is left beside it.
    EXPECT_EQ(std::system(("test $(ls '" + folder_ + "' | wc -l) -eq 2").c_str()), 0);
}

TEST_F(LiveKmlFile, AnUnwritableFolderIsReportedAtTheStart)
{
    std::string error;
    EXPECT_FALSE(LiveKmlOutput::create(folder_ + "/missing/live.kml", kStation, 100, nullptr, error));
    EXPECT_NE(error.find("missing/live-link.kml"), std::string::npos) << error;
}

}  // namespace
}  // namespace nimbra::outputs
