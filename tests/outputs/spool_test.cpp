// The SondeHub spool on disk: what a crash, kill -9 or a torn write leaves, and what the next run
// sends from it; duplicates, the size bound and the rewrite of the journal. Each test works in a
// folder of its own; "a crash" is the spool object going away without marking a batch done.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <sys/stat.h>

#include "outputs/sondehub_spool.h"

namespace nimbra::outputs {
namespace {

using nlohmann::json;

std::string objectFor(const std::string& serial, unsigned frame, std::size_t padding = 0)
{
    return json{{"serial", serial}, {"frame", frame}, {"pad", std::string(padding, 'x')}}.dump();
}

std::vector<unsigned> framesOf(const SondeHubSpool::Batch& batch)
{
    std::vector<unsigned> frames;
    if (batch.count == 0)
        return frames;
    for (const json& o : json::parse(batch.body))
        frames.push_back(o["frame"].get<unsigned>());
    return frames;
}

std::vector<unsigned> range(unsigned first, unsigned last)
{
    std::vector<unsigned> v;
    for (unsigned f = first; f <= last; ++f)
        v.push_back(f);
    return v;
}

std::uint64_t fileSize(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
}

class Spool : public ::testing::Test {
protected:
    void SetUp() override
    {
        char name[] = "/tmp/nimbra-spool-test.XXXXXX";
        ASSERT_NE(::mkdtemp(name), nullptr);
        root_ = name;
        settings_.folder = root_ + "/spool";
    }
    void TearDown() override
    {
        if (!root_.empty())
            std::system(("rm -rf '" + root_ + "'").c_str());
    }

    std::unique_ptr<SondeHubSpool> open()
    {
        auto spool = std::make_unique<SondeHubSpool>();
        std::string error;
        EXPECT_TRUE(spool->open(settings_, error)) << error;
        return spool;
    }

    void append(SondeHubSpool& spool, unsigned first, unsigned last, std::size_t padding = 0)
    {
        for (unsigned f = first; f <= last; ++f) {
            std::string error;
            ASSERT_EQ(spool.append("1A2B", f, objectFor("1A2B", f, padding), error), SondeHubSpool::Appended::Added);
        }
    }

    void deliver(SondeHubSpool& spool, std::size_t count)
    {
        const auto batch = spool.nextBatch(count, 1u << 30);
        std::size_t firstFailures = 0;
        std::string error;
        ASSERT_TRUE(spool.complete(batch, SondeHubSpool::Outcome::Delivered, firstFailures, error)) << error;
    }

    std::string root_;
    SondeHubSpool::Settings settings_;
};

TEST_F(Spool, WhatWasNotDeliveredBeforeACrashIsSentByTheNextRunOnce)
{
    {
        auto spool = open();
        append(*spool, 1200, 1209);
        deliver(*spool, 4);
        // A batch on its way when the process dies: never marked.
        EXPECT_EQ(framesOf(spool->nextBatch(3, 1u << 20)), range(1204, 1206));
    }
    auto spool = open();
    EXPECT_EQ(spool->recovered(), 6u);
    EXPECT_EQ(framesOf(spool->nextBatch(100, 1u << 20)), range(1204, 1209));
    deliver(*spool, 100);
    EXPECT_EQ(spool->waiting(), 0u);
    spool.reset();
    EXPECT_EQ(open()->waiting(), 0u);
}

TEST_F(Spool, ALineCutShortByACrashIsDropped)
{
    {
        auto spool = open();
        append(*spool, 1, 3);
    }
    {
        std::ofstream journal(settings_.folder + "/journal.jsonl", std::ios::app);
        journal << "{\"serial\":\"1A2B\",\"fra";
    }
    {
        auto spool = open();
        EXPECT_EQ(spool->waiting(), 3u);
        append(*spool, 4, 4);
    }
    auto spool = open();
    EXPECT_EQ(framesOf(spool->nextBatch(100, 1u << 20)), range(1, 4));
    EXPECT_EQ(spool->damagedLines(), 0u);
}

TEST_F(Spool, DamagedLinesAreSkippedAndCounted)
{
    {
        auto spool = open();
        append(*spool, 1, 2);
    }
    {
        std::ofstream journal(settings_.folder + "/journal.jsonl", std::ios::app);
        journal << "not json\n{\"serial\":7,\"frame\":3}\n";
    }
    auto spool = open();
    EXPECT_EQ(spool->damagedLines(), 2u);
    EXPECT_EQ(framesOf(spool->nextBatch(100, 1u << 20)), range(1, 2));
}

TEST_F(Spool, AFrameAndSerialAreJournaledOnce)
{
    {
        auto spool = open();
        append(*spool, 1, 5);
        deliver(*spool, 2);
        std::string error;
        EXPECT_EQ(spool->append("1A2B", 1, objectFor("1A2B", 1), error), SondeHubSpool::Appended::Duplicate);
        EXPECT_EQ(spool->append("1A2B", 4, objectFor("1A2B", 4), error), SondeHubSpool::Appended::Duplicate);
        EXPECT_EQ(spool->append("2C3D", 4, objectFor("2C3D", 4), error), SondeHubSpool::Appended::Added);
    }
    // A run started again on input that overlaps the last: delivered and waiting frames alike.
    auto spool = open();
    std::string error;
    EXPECT_EQ(spool->append("1A2B", 2, objectFor("1A2B", 2), error), SondeHubSpool::Appended::Duplicate);
    EXPECT_EQ(spool->append("1A2B", 5, objectFor("1A2B", 5), error), SondeHubSpool::Appended::Duplicate);
    EXPECT_EQ(spool->append("1A2B", 6, objectFor("1A2B", 6), error), SondeHubSpool::Appended::Added);
    EXPECT_EQ(spool->waiting(), 5u);  // 3, 4, 5, 2C3D 4, 6
}

TEST_F(Spool, FailedBatchesStayAndCountFirstFailuresOnce)
{
    auto spool = open();
    append(*spool, 1, 6);
    std::size_t first = 0;
    std::string error;
    auto batch = spool->nextBatch(4, 1u << 20);
    ASSERT_TRUE(spool->complete(batch, SondeHubSpool::Outcome::Failed, first, error));
    EXPECT_EQ(first, 4u);
    batch = spool->nextBatch(6, 1u << 20);
    EXPECT_EQ(framesOf(batch), range(1, 6));
    ASSERT_TRUE(spool->complete(batch, SondeHubSpool::Outcome::Failed, first, error));
    EXPECT_EQ(first, 2u);  // 5 and 6 failed for the first time
    batch = spool->nextBatch(6, 1u << 20);
    ASSERT_TRUE(spool->complete(batch, SondeHubSpool::Outcome::Refused, first, error));
    EXPECT_EQ(spool->waiting(), 0u);
}

TEST_F(Spool, BatchesRespectTheirLimits)
{
    auto spool = open();
    append(*spool, 1, 10, 100);
    EXPECT_EQ(spool->nextBatch(3, 1u << 20).count, 3u);
    const std::size_t line = objectFor("1A2B", 1, 100).size();
    EXPECT_EQ(spool->nextBatch(10, 2 * line + 4).count, 2u);
    EXPECT_EQ(spool->nextBatch(10, 1).count, 1u);  // one object always goes
    const auto batch = spool->nextBatch(10, 1u << 20);
    EXPECT_TRUE(json::accept(batch.body));
    EXPECT_EQ(batch.body.front(), '[');
}

TEST_F(Spool, TheOldestAreDroppedWhenTheSpoolIsFull)
{
    const std::size_t line = objectFor("1A2B", 1000, 300).size() + 1;
    settings_.maxBytes = 5 * line;
    {
        auto spool = open();
        append(*spool, 1000, 1011, 300);
        EXPECT_EQ(spool->waiting(), 5u);
        EXPECT_EQ(spool->dropped(), 7u);
        EXPECT_EQ(framesOf(spool->nextBatch(100, 1u << 20)), range(1007, 1011));
    }
    // Dropped objects are not sent by the next run either.
    auto spool = open();
    EXPECT_EQ(framesOf(spool->nextBatch(100, 1u << 20)), range(1007, 1011));
}

TEST_F(Spool, ObjectsOnTheirWayAreNotDroppedUnderThem)
{
    const std::size_t line = objectFor("1A2B", 1000, 300).size() + 1;
    settings_.maxBytes = 4 * line;
    auto spool = open();
    append(*spool, 1000, 1003, 300);
    const auto batch = spool->nextBatch(2, 1u << 20);  // 1000, 1001 on their way
    append(*spool, 1004, 1005, 300);                    // full: 1002 and 1003 go
    EXPECT_EQ(spool->dropped(), 2u);
    std::size_t first = 0;
    std::string error;
    ASSERT_TRUE(spool->complete(batch, SondeHubSpool::Outcome::Delivered, first, error));
    EXPECT_EQ(framesOf(spool->nextBatch(100, 1u << 20)), range(1004, 1005));
}

TEST_F(Spool, TheJournalIsRewrittenWithoutDoneObjects)
{
    settings_.compactMinBytes = 2000;
    settings_.rememberedDone = 20;
    std::string error;
    {
        auto spool = open();
        append(*spool, 1, 60, 50);
        deliver(*spool, 50);
        const std::uint64_t before = fileSize(settings_.folder + "/journal.jsonl");
        ASSERT_TRUE(spool->compact(error)) << error;
        EXPECT_LT(fileSize(settings_.folder + "/journal.jsonl"), before / 4);
        // Appends and batches go on in the rewritten journal.
        append(*spool, 61, 62, 50);
        EXPECT_EQ(framesOf(spool->nextBatch(100, 1u << 20)), range(51, 62));
        // Recently delivered frames are still known.
        EXPECT_EQ(spool->append("1A2B", 45, objectFor("1A2B", 45), error), SondeHubSpool::Appended::Duplicate);
    }
    auto spool = open();
    EXPECT_EQ(framesOf(spool->nextBatch(100, 1u << 20)), range(51, 62));
    EXPECT_EQ(spool->append("1A2B", 50, objectFor("1A2B", 50), error), SondeHubSpool::Appended::Duplicate);
    std::ifstream done(settings_.folder + "/done.log");
    std::stringstream stream;
    stream << done.rdbuf();
    const std::string text = stream.str();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 20);
}

TEST_F(Spool, ManySerialsKeepTheirObjects)
{
    std::string error;
    {
        auto spool = open();
        for (unsigned i = 0; i < 300; ++i) {
            const std::string serial = "S" + std::to_string(i);
            ASSERT_EQ(spool->append(serial, 7, objectFor(serial, 7), error), SondeHubSpool::Appended::Added);
        }
        deliver(*spool, 298);
        // The table of serials is pruned here: the two waiting objects keep theirs.
        ASSERT_EQ(spool->append("new", 7, objectFor("new", 7), error), SondeHubSpool::Appended::Added);
        const auto batch = spool->nextBatch(10, 1u << 20);
        ASSERT_EQ(batch.count, 3u);
        const json objects = json::parse(batch.body);
        EXPECT_EQ(objects[0]["serial"], "S298");
        EXPECT_EQ(objects[2]["serial"], "new");
        std::size_t first = 0;
        ASSERT_TRUE(spool->complete(batch, SondeHubSpool::Outcome::Delivered, first, error));
    }
    std::ifstream done(settings_.folder + "/done.log");
    std::string line, last;
    while (std::getline(done, line))
        last = line;
    EXPECT_EQ(last, "7\tnew");
    auto spool = open();
    EXPECT_EQ(spool->waiting(), 0u);
    EXPECT_EQ(spool->append("S299", 7, objectFor("S299", 7), error), SondeHubSpool::Appended::Duplicate);
}

TEST_F(Spool, AFolderIsUsedByOneRunAtATime)
{
    auto first = open();
    SondeHubSpool second;
    std::string error;
    EXPECT_FALSE(second.open(settings_, error));
    EXPECT_NE(error.find("in use"), std::string::npos) << error;
}

TEST_F(Spool, AnUnusableFolderIsReported)
{
    settings_.folder = "/proc/nimbra-spool";
    SondeHubSpool spool;
    std::string error;
    EXPECT_FALSE(spool.open(settings_, error));
    EXPECT_NE(error.find("/proc/nimbra-spool"), std::string::npos) << error;
}

}  // namespace
}  // namespace nimbra::outputs
