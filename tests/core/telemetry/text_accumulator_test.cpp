// The text accumulators: lines in order, each with its carriage return; bounded, so that an
// accumulator nobody drains stops growing, dropping its oldest whole lines, while one that is
// drained at the rate the program drains it loses nothing.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "telemetry/text_accumulator.h"

namespace {

// Ten bytes: "line00007" and the carriage return.
std::string shortLine(int n)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "line%05d\r", n);
    return buf;
}

// A line the size of a real one: 60 bytes, numbered.
std::string realLine(int n)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "07 Dec 2026 10:00:00 1A2B %08d 39.75000N 76.98000W 2200\r", n);
    return buf;
}

}  // namespace

TEST(TextAccumulator, AppendLineEndsEachLineWithOneCarriageReturn)
{
    nimbra::TextAccumulator acc;
    acc.appendLine("first");
    acc.appendLine("");
    acc.append("raw\r");
    EXPECT_EQ(acc.takeAll(), "first\r\rraw\r");
    EXPECT_TRUE(acc.empty());
    // At the limit, a line and its carriage return are dropped or kept together.
    nimbra::TextAccumulator small(20);
    for (int i = 0; i < 5; ++i)
        small.appendLine("line" + std::to_string(i));
    const std::string kept = small.takeAll();
    EXPECT_LE(kept.size(), 20u);
    EXPECT_EQ(kept.substr(kept.size() - 6), "line4\r");
    EXPECT_EQ(kept.find("line") % 6, 0u);
}

TEST(TextAccumulator, KeepsEverythingUpToTheLimit)
{
    nimbra::TextAccumulator acc(100);
    std::string expected;
    for (int i = 0; i < 10; ++i) {
        acc.append(shortLine(i));
        expected += shortLine(i);
    }
    EXPECT_EQ(acc.droppedLines(), 0u);
    EXPECT_EQ(acc.takeAll(), expected);  // exactly 100 bytes: at the limit, not over it
}

TEST(TextAccumulator, DropsOldestWholeLinesWhenFull)
{
    nimbra::TextAccumulator acc(100);
    for (int i = 0; i <= 10; ++i)
        acc.append(shortLine(i));
    // The eleventh line would make 110 bytes: the text is brought down to 75 bytes with the new
    // line, so 35 bytes must go, rounded up to whole lines: lines 0 to 3.
    EXPECT_EQ(acc.droppedLines(), 4u);
    std::string expected;
    for (int i = 4; i <= 10; ++i)
        expected += shortLine(i);
    EXPECT_EQ(acc.takeAll(), expected);
    // Drained, it fills again from empty without dropping.
    acc.append(shortLine(11));
    EXPECT_EQ(acc.takeAll(), shortLine(11));
    EXPECT_EQ(acc.droppedLines(), 4u);
}

TEST(TextAccumulator, AnUnterminatedTailCountsAsOneDroppedLine)
{
    nimbra::TextAccumulator acc(20);
    acc.append("abcdefghijklmnop");  // 16 bytes, no line end
    acc.append(shortLine(1));        // 26 > 20: everything before must go
    EXPECT_EQ(acc.droppedLines(), 1u);
    EXPECT_EQ(acc.takeAll(), shortLine(1));
}

TEST(TextAccumulator, NothingIsLostWhenDrainedAsTheProgramDrains)
{
    nimbra::TextAccumulator acc;
    // The worst a file chunk of 500,000 samples can hold: a block every 600 samples (833 lines),
    // each at the largest line size with both PTU texts full (about 2.2 KB). Nine such chunks
    // pile up before a drain and still nothing is lost.
    const std::string big(2199, 'x');
    for (int i = 0; i < 9 * 833; ++i)
        acc.append(big + "\r");
    EXPECT_EQ(acc.droppedLines(), 0u);
    EXPECT_EQ(acc.takeAll().size(), 9u * 833u * 2200u);

    // A real flight, drained every 500 lines: every line arrives once and in order.
    std::string received;
    std::string expected;
    for (int i = 0; i < 200000; ++i) {
        acc.append(realLine(i));
        expected += realLine(i);
        if (i % 500 == 499)
            received += acc.takeAll();
    }
    received += acc.takeAll();
    EXPECT_EQ(acc.droppedLines(), 0u);
    EXPECT_TRUE(received == expected);
}

TEST(TextAccumulator, UndrainedItStaysBoundedAndKeepsTheNewestLines)
{
    nimbra::TextAccumulator acc;
    const int lines = 600000;  // 36 MB of text, more than twice the limit
    for (int i = 0; i < lines; ++i)
        acc.append(realLine(i));
    const std::string kept = acc.takeAll();
    EXPECT_LE(kept.size(), nimbra::TextAccumulator::kDefaultLimit);
    ASSERT_EQ(kept.size() % 60, 0u);  // whole lines only
    const std::uint64_t keptLines = kept.size() / 60;
    EXPECT_EQ(acc.droppedLines() + keptLines, static_cast<std::uint64_t>(lines));
    // The kept lines are the newest, contiguous up to the last one.
    const int first = lines - static_cast<int>(keptLines);
    EXPECT_EQ(kept.substr(0, 60), realLine(first));
    EXPECT_EQ(kept.substr(kept.size() - 60), realLine(lines - 1));
}
