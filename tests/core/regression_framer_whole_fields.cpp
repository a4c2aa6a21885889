// Packet framer regressions. The 16-bit GPS fields change only when both their bytes are in: the
// window reads them from another thread while a file is decoded, and the thread stress test saw
// the identifier 0x1A00 (the high byte alone) on the way from 0 to 0x1A2B. The byte count
// between packets saturates instead of overflowing.
#include <gtest/gtest.h>

#include <climits>
#include <memory>

#include "demod/decoder.h"

namespace {

void feed(nimbra::Decoder& d, std::initializer_list<int> bytes)
{
    for (int b : bytes)
        d.ProcessPacketByte(b);
}

}  // namespace

TEST(RegressionFramerWholeFields, EachSixteenBitFieldChangesOnlyWhenWhole)
{
    auto d = std::make_unique<nimbra::Decoder>();
    const nimbra::TelemetryState& t = d->telemetry;
    // An earlier block (length 0: it ends with its two checksum bytes) left these values.
    feed(*d, {'$', 'R', 'T', '1', 0x12, 0x34, 0x00, 0x07, 0x00, 0x00, 0xAA, 0xBB});
    ASSERT_EQ(t.framerState, 0);
    ASSERT_EQ(t.transmitterId, 0x1234);
    ASSERT_EQ(t.timeCounter, 7);

    feed(*d, {'$', 'R', 'T', '2', 0x1A});
    EXPECT_EQ(t.transmitterId, 0x1234);  // not 0x1A00
    feed(*d, {0x2B});
    EXPECT_EQ(t.transmitterId, 0x1A2B);
    feed(*d, {0x04});
    EXPECT_EQ(t.timeCounter, 7);  // not 0x0400
    feed(*d, {0xD2});
    EXPECT_EQ(t.timeCounter, 1234);
    feed(*d, {0x01});
    EXPECT_EQ(t.blockLength, 0);  // the earlier block's length 0, not 0x0100
    feed(*d, {0x2C});
    EXPECT_EQ(t.blockLength, 300);
}

TEST(RegressionFramerWholeFields, ALengthBeyondTheLimitIsStillRefusedAtItsSecondByte)
{
    auto d = std::make_unique<nimbra::Decoder>();
    feed(*d, {'$', 'R', 'T', '1', 0x00, 0x01, 0x00, 0x02, 0x01});
    EXPECT_EQ(d->telemetry.badPackets, 0);
    feed(*d, {0x2D});  // 301
    EXPECT_EQ(d->telemetry.badPackets, 1);
    EXPECT_EQ(d->telemetry.framerState, 0);
}

// Between packets the byte count runs on until the next '$'. After 2^31 bytes without one (26
// days of a signal that never sends a '$') it would overflow: it saturates, and the next packet
// is framed as usual.
TEST(RegressionFramerWholeFields, TheByteCountBetweenPacketsSaturates)
{
    auto d = std::make_unique<nimbra::Decoder>();
    d->telemetry.packetByteCount = INT_MAX - 1;
    feed(*d, {'x', 'y', 'z'});
    EXPECT_EQ(d->telemetry.packetByteCount, INT_MAX);
    // A GPS block of length 0 with its checksum: '$' restarts the count.
    feed(*d, {'$', 'R', 'T', '1', 0x00, 0x01, 0x00, 0x02, 0x00, 0x00});
    EXPECT_EQ(d->telemetry.packetByteCount, 10);
    feed(*d, {0x00, 0x00});
    EXPECT_EQ(d->telemetry.goodPackets + d->telemetry.badPackets, 1);
    EXPECT_EQ(d->telemetry.framerState, 0);
}
