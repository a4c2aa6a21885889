// The sample queue between the capture thread and the periodic loop, without audio.
#include <QtTest>

#include <cstring>
#include <vector>

#include "sources/sample_queue.h"

using nimbra::SampleQueue;
using nimbra::SoundBlock;

namespace {

std::uint32_t frame(std::int16_t left, std::int16_t right)
{
    std::int16_t channels[2] = {left, right};
    std::uint32_t word;
    std::memcpy(&word, channels, sizeof word);
    return word;
}

// Stores frames whose left channel counts up from first (wrapping in 16 bits), right = -left.
void put(SampleQueue& q, int frames, int first = 0)
{
    std::vector<std::uint32_t> piece;
    for (int i = 0; i < frames; ++i) {
        const auto v = static_cast<std::int16_t>(first + i);
        piece.push_back(frame(v, static_cast<std::int16_t>(-v)));
    }
    for (int done = 0; done < frames; done += 1024)
        q.PutInQueue(std::min(1024, frames - done), piece.data() + done);
}

// A running queue past its discard-once step and its priming.
void makeRunning(SampleQueue& q)
{
    QVERIFY(q.allocate());
    q.setStopped(false);
    put(q, 512);
    QVERIFY(q.GetInQueue() == nullptr);  // the discard-once step
    put(q, 66048);  // 129 whole blocks
    while (q.GetInQueue()) {
    }
    QVERIFY(!q.priming());
    QCOMPARE(q.count(), 0);
}

}  // namespace

class SampleQueueTest : public QObject {
    Q_OBJECT

private slots:
    void firstBlockIsDiscardedOnce()
    {
        SampleQueue q;
        QVERIFY(q.allocate());
        q.setStopped(false);
        put(q, 511);
        QVERIFY(q.GetInQueue() == nullptr);
        QCOMPARE(q.count(), 511);  // too few frames: nothing happens
        put(q, 1);
        QVERIFY(q.GetInQueue() == nullptr);
        QCOMPARE(q.count(), 0);  // everything captured so far is thrown away
        // Only once: a restart of capture does not discard again.
        q.release();
        QVERIFY(q.allocate());
        put(q, 65537);
        QVERIFY(q.GetInQueue() != nullptr);
    }

    void primingHoldsBlocksUntilMoreThan65536Frames()
    {
        SampleQueue q;
        QVERIFY(q.allocate());
        q.setStopped(false);
        put(q, 512);
        q.GetInQueue();
        put(q, 65536);
        QVERIFY(q.GetInQueue() == nullptr);
        QCOMPARE(q.count(), 65536);
        put(q, 1, 65536);
        int blocks = 0;
        while (q.GetInQueue())
            ++blocks;
        // 65,537 frames: 128 whole blocks, 1 frame left.
        QCOMPARE(blocks, 128);
        QCOMPARE(q.count(), 1);
        // Primed for good: from now on one block is enough.
        put(q, 511);
        QVERIFY(q.GetInQueue() != nullptr);
        QCOMPARE(q.count(), 0);
    }

    void blocksCarryBothChannelsInOrder()
    {
        SampleQueue q;
        makeRunning(q);
        put(q, 511, 100);
        QVERIFY(q.GetInQueue() == nullptr);
        put(q, 1, 611);
        const SoundBlock* block = q.GetInQueue();
        QVERIFY(block != nullptr);
        QCOMPARE(block->frame[0][0], 100.0);
        QCOMPARE(block->frame[0][1], -100.0);
        QCOMPARE(block->frame[511][0], 611.0);
        QCOMPARE(q.count(), 0);
        // The extremes of the 16-bit range come out exactly.
        std::uint32_t extremes[512];
        for (auto& f : extremes)
            f = frame(-32768, 32767);
        q.PutInQueue(512, extremes);
        block = q.GetInQueue();
        QVERIFY(block != nullptr);
        QCOMPARE(block->frame[7][0], -32768.0);
        QCOMPARE(block->frame[7][1], 32767.0);
    }

    void fullRingDropsOldestQuarterAndRestOfCall()
    {
        SampleQueue q;
        makeRunning(q);
        // 131,071 frames leave the ring one short of full.
        put(q, 131071, 1);
        QCOMPARE(q.count(), 131071);
        // The next call's first frame fills it: the oldest 32,768 frames and the rest of the
        // call go.
        std::vector<std::uint32_t> piece(10, frame(7, 7));
        q.PutInQueue(10, piece.data());
        QCOMPARE(q.count(), 98304);
        // The frame with the value 1 was the oldest; the oldest now is 32,768 frames later: the
        // value 32,769, as a 16-bit sample -32,767.
        const SoundBlock* block = q.GetInQueue();
        QVERIFY(block != nullptr);
        QCOMPARE(block->frame[0][0], -32767.0);
        QCOMPARE(block->frame[1][0], -32766.0);
    }

    void capturedBytesAreStoredInWholeFrames()
    {
        SampleQueue q;
        makeRunning(q);
        q.GetInQueue();
        const int before = q.count();
        std::vector<char> bytes(8194, 1);
        q.PutCapturedBytes(bytes.data(), 4098);  // 1,024 frames; 2 bytes dropped
        QCOMPARE(q.count(), before + 1024);
        q.PutCapturedBytes(bytes.data(), 8194);  // two pieces of 1,024 frames; 2 bytes dropped
        QCOMPARE(q.count(), before + 3072);
        q.PutCapturedBytes(bytes.data(), 3);  // less than a frame
        QCOMPARE(q.count(), before + 3072);
        q.PutCapturedBytes(bytes.data() + 1, 4100);  // unaligned buffer: 1,025 frames
        QCOMPARE(q.count(), before + 4097);
    }

    // A stopped queue (capture lost) stores nothing more but still hands out what it holds, so
    // that the frames captured before a loss are decoded.
    void stoppedQueueStoresNothingButHandsOutWhatItHolds()
    {
        SampleQueue q;
        makeRunning(q);
        put(q, 600);
        q.setStopped(true);
        put(q, 1000);
        QCOMPARE(q.count(), 600);
        QVERIFY(q.GetInQueue() != nullptr);
        QCOMPARE(q.count(), 88);
        // Released storage: neither side touches memory.
        q.release();
        q.setStopped(false);
        put(q, 1000);
        QVERIFY(q.GetInQueue() == nullptr);
        QCOMPARE(q.count(), 0);
    }

    // Frames before a gap come out in whole blocks; the part-block left before it is dropped
    // when the gap is taken, with its note, once; the frames after it start the next block.
    void noBlockSpansAGap()
    {
        SampleQueue q;
        makeRunning(q);
        put(q, 1300, 1000);  // two whole blocks and 276 frames
        q.markGap("lost");
        put(q, 1024, 5000);
        QString note;
        QVERIFY(!q.takeGap(&note));  // blocks before the gap come first
        const SoundBlock* block = q.GetInQueue();
        QVERIFY(block);
        QCOMPARE(block->frame[0][0], 1000.0);
        QVERIFY(q.GetInQueue());
        QVERIFY(q.GetInQueue() == nullptr);  // 276 frames left before the gap: not a block
        QCOMPARE(q.count(), 276 + 1024);
        QVERIFY(q.takeGap(&note));
        QCOMPARE(note, QString("lost"));
        QVERIFY(!q.takeGap(&note));
        QCOMPARE(q.count(), 1024);
        block = q.GetInQueue();
        QVERIFY(block);
        QCOMPARE(block->frame[0][0], 5000.0);
        QCOMPARE(block->frame[511][0], 5511.0);
        QCOMPARE(q.gapsWaiting(), 0);
        QCOMPARE(q.framesStored(), 512 + 66048 + 1300 + 1024);
    }

    // Two gaps at the same place (lost, then resumed) are taken one after the other; a gap at
    // a block boundary drops nothing.
    void gapsAtTheSamePlaceComeInOrder()
    {
        SampleQueue q;
        makeRunning(q);
        put(q, 1024, 1);
        q.markGap("lost");
        q.markGap("resumed");
        put(q, 512, 3000);
        QVERIFY(q.GetInQueue());
        QVERIFY(q.GetInQueue());
        QVERIFY(q.GetInQueue() == nullptr);
        QString note;
        QVERIFY(q.takeGap(&note));
        QCOMPARE(note, QString("lost"));
        QVERIFY(q.GetInQueue() == nullptr);
        QVERIFY(q.takeGap(&note));
        QCOMPARE(note, QString("resumed"));
        const SoundBlock* block = q.GetInQueue();
        QVERIFY(block);
        QCOMPARE(block->frame[0][0], 3000.0);
    }

    // A loss during priming: the frames before it are handed out all the same.
    void aGapEndsPriming()
    {
        SampleQueue q;
        QVERIFY(q.allocate());
        q.setStopped(false);
        put(q, 512);
        QVERIFY(q.GetInQueue() == nullptr);  // the discard-once step
        put(q, 2048, 10);
        QVERIFY(q.GetInQueue() == nullptr);  // priming
        q.markGap(QString());
        int blocks = 0;
        while (q.GetInQueue())
            ++blocks;
        QCOMPARE(blocks, 4);
        QVERIFY(q.takeGap(nullptr));
        QVERIFY(!q.priming());
    }

    // Capture stopped on purpose frees the storage: the gap marked then is passed at once.
    void aGapAfterReleaseIsPassedAtOnce()
    {
        SampleQueue q;
        makeRunning(q);
        put(q, 2000);
        q.markGap(QString());
        q.release();
        QVERIFY(q.takeGap(nullptr));
        QVERIFY(q.allocate());
        put(q, 512, 40);
        const SoundBlock* block = q.GetInQueue();
        QVERIFY(block);
        QCOMPARE(block->frame[0][0], 40.0);
    }

    // More gaps than places: the newest joins the last, and the frames between the two go with it.
    void surplusGapsMergeIntoTheLast()
    {
        SampleQueue q;
        makeRunning(q);
        for (int i = 0; i < SampleQueue::kMaxGaps + 2; ++i) {
            put(q, 100, 100 * i);
            q.markGap(QString::number(i));
        }
        put(q, 512, 7000);
        QCOMPARE(q.gapsWaiting(), SampleQueue::kMaxGaps);
        QStringList notes;
        QString note;
        while (q.takeGap(&note))  // 100 frames before each: never a whole block
            notes << note;
        QCOMPARE(notes.size(), SampleQueue::kMaxGaps);
        QCOMPARE(notes.last(), QString("7\r8\r9"));
        // Everything before the last gap's end was dropped: the next block is the one after it.
        QCOMPARE(q.count(), 512);
        const SoundBlock* block = q.GetInQueue();
        QVERIFY(block);
        QCOMPARE(block->frame[0][0], 7000.0);
    }
};

QTEST_GUILESS_MAIN(SampleQueueTest)
#include "sample_queue_test.moc"
