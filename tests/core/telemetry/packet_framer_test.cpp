// Packet framer: where blocks start and end, what is counted, what reaches the consumers and
// listeners, the corrupted headers that must not swallow the stream, and the GPS fields that are
// published whole while a block arrives (the window reads them from another thread: the thread
// stress test once saw the identifier 0x1A00, the high byte alone, on its way to 0x1A2B).
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/blocks.h"
#include "support/recorder.h"

namespace nimbra {
namespace {

using namespace nimbra::testing;

// Feeds bytes to a framer alone; returns the events.
std::vector<PacketFramer::Event> push(PacketFramer& framer, const Bytes& bytes)
{
    std::vector<PacketFramer::Event> events;
    for (std::uint8_t b : bytes)
        events.push_back(framer.push(b));
    return events;
}

TEST(PacketFramer, GoodGpsBlockEndsOnceAtItsLastByte)
{
    for (char variant : {'1', '2'}) {
        GpsBlockFields fields = stationFix();
        fields.variant = variant;
        fields.numSatellites = 3;
        const Bytes block = gpsBlock(fields);
        ASSERT_EQ(block.size(), 32u + 39u + 12u);

        PacketFramer framer;
        const auto events = push(framer, block);
        for (std::size_t i = 0; i + 1 < events.size(); ++i)
            ASSERT_EQ(events[i], PacketFramer::Event::Stored) << i;
        EXPECT_EQ(events.back(), PacketFramer::Event::Finished);
        const FramedBlock b = framer.block();
        EXPECT_EQ(b.kind, BlockKind::Gps);
        EXPECT_TRUE(b.crcGood);
        EXPECT_TRUE(b.complete);
        EXPECT_EQ(Bytes(b.bytes, b.bytes + b.length), block);
        EXPECT_EQ(framer.state.phase, PacketFramer::Phase::Idle);
        // Bytes between blocks belong to none.
        EXPECT_EQ(framer.push(0x00), PacketFramer::Event::None);
        EXPECT_EQ(framer.block().length, static_cast<int>(block.size()));
    }
}

TEST(PacketFramer, GoodBlockIsCountedAndShownOnce)
{
    auto d = std::make_unique<Decoder>();
    Recorder rec(*d);
    const Bytes block = gpsBlock();
    feed(*d, Bytes(block.begin(), block.end() - 1));
    EXPECT_EQ(d->telemetry.goodPackets, 0);
    EXPECT_TRUE(rec.fixes.empty());
    d->ProcessPacketByte(block.back());
    EXPECT_EQ(d->telemetry.goodPackets, 1);
    EXPECT_EQ(d->telemetry.badPackets, 0);
    ASSERT_EQ(rec.fixes.size(), 1u);
    EXPECT_EQ(rec.fixes[0].transmitterId, 0x1A2Bu);
    EXPECT_EQ(rec.fixes[0].timeCounter, 1234u);
    EXPECT_TRUE(rec.fixes[0].crcGood);
    ASSERT_EQ(rec.events.size(), 1u);
    EXPECT_EQ(rec.events[0].kind, BlockKind::Gps);
    EXPECT_TRUE(rec.events[0].crcGood);
    EXPECT_EQ(rec.eventBytes[0], block);
    EXPECT_FALSE(rec.events[0].signal.measured);  // no demodulator measured it
}

TEST(PacketFramer, HeadersThatLoseThePacket)
{
    const Bytes block = gpsBlock();
    // A second '$' sends the header back to the search, where the 'R' that follows is ignored.
    // After '$' 'R', a byte other than 'T' or 'M' ends the header at once: the "T1..." that
    // follows is not taken as the rest of a GPS block.
    // A byte other than '1' or '2' after "$RT" ends the header too.
    const std::vector<Bytes> prefixes = {{'$'}, {'$', 'R', 'X'}, {'$', 'R', 'T', '3'}};
    const std::vector<std::size_t> skips = {0, 2, 3};
    for (std::size_t i = 0; i < prefixes.size(); ++i) {
        auto d = std::make_unique<Decoder>();
        Recorder rec(*d);
        feed(*d, prefixes[i]);
        feed(*d, Bytes(block.begin() + static_cast<long>(skips[i]), block.end()));
        EXPECT_EQ(d->telemetry.goodPackets, 0) << i;
        EXPECT_EQ(d->telemetry.badPackets, 0) << i;
        EXPECT_TRUE(rec.events.empty()) << i;
        // The stream recovers at the next header.
        feed(*d, block);
        EXPECT_EQ(d->telemetry.goodPackets, 1) << i;
        EXPECT_EQ(d->telemetry.badPackets, 0) << i;
    }
}

TEST(PacketFramer, DollarAndHeaderBytesInsidePayloadAreOrdinaryData)
{
    auto d = std::make_unique<Decoder>();
    Recorder rec(*d);
    GpsBlockFields fields = stationFix();
    fields.transmitterId = 0x2452;  // '$' 'R'
    fields.timeCounter = 0x2452;    // '$' 'R'
    fields.numSatellites = 1;
    Bytes payload = synth::gpsPayload(fields);
    const Bytes header = {'$', 'R', 'T', '1'};
    std::copy(header.begin(), header.end(), payload.begin() + 32);  // the satellite record
    feed(*d, {0x00, 0x55, '$', 0x13, 0xFF});  // noise between packets first
    feed(*d, synth::buildGpsBlock(fields, payload));
    EXPECT_EQ(d->telemetry.goodPackets, 1);
    EXPECT_EQ(d->telemetry.badPackets, 0);
    ASSERT_EQ(rec.fixes.size(), 1u);
    EXPECT_EQ(rec.fixes[0].transmitterId, 0x2452u);
    EXPECT_EQ(rec.fixes[0].timeCounter, 0x2452u);
}

TEST(PacketFramer, BadBlockIsCountedAndShownOnlyWhenAskedButFieldsAlreadyHoldIt)
{
    GpsBlockFields fields = stationFix();
    fields.transmitterId = 0xBEEF;
    fields.timeCounter = 777;
    fields.latitudeRaw = rawAngle(45.0);
    fields.longitudeRaw = rawAngle(-90.0);
    fields.altitudeMm = 12345000;
    Bytes block = gpsBlock(fields);
    synth::corruptChecksum(block);

    for (int showBad : {0, 1}) {
        auto d = std::make_unique<Decoder>();
        Recorder rec(*d);
        d->params.updateBadCrcPackets = showBad;
        feed(*d, block);
        EXPECT_EQ(d->telemetry.goodPackets, 0);
        EXPECT_EQ(d->telemetry.badPackets, 1);
        EXPECT_EQ(d->telemetry.transmitterId, 0xBEEF);
        EXPECT_EQ(d->telemetry.timeCounter, 777);
        EXPECT_FLOAT_EQ(d->telemetry.latitude, 45.0f);
        EXPECT_FLOAT_EQ(d->telemetry.longitude, -90.0f);
        EXPECT_FLOAT_EQ(d->telemetry.altitude, 12345.0f);
        ASSERT_EQ(rec.events.size(), 1u);
        EXPECT_FALSE(rec.events[0].crcGood);
        ASSERT_EQ(rec.fixes.size(), static_cast<std::size_t>(showBad));
        if (showBad) {
            EXPECT_FALSE(rec.fixes[0].crcGood);
            const std::string text = d->decodedDisplayText.takeAll();
            EXPECT_NE(text.find(" BEEF 777 45.00000N 90.00000W 12345\r"), std::string::npos);
        } else {
            EXPECT_TRUE(d->decodedDisplayText.empty());
        }
    }
}

TEST(PacketFramer, EachGpsFieldIsPublishedWhenItsLastByteArrives)
{
    auto d = std::make_unique<Decoder>();
    const TelemetryState& t = d->telemetry;
    // An earlier block (length 0: it ends with its two checksum bytes) left these values.
    feed(*d, {'$', 'R', 'T', '1', 0x12, 0x34, 0x00, 0x07, 0x00, 0x00, 0xAA, 0xBB});
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
    // Two uninterpreted fields, then the latitude: unchanged until its fourth byte.
    feed(*d, Bytes(8, 0x00));
    feed(*d, {0x20, 0x00, 0x00});
    EXPECT_EQ(t.latitude, 0.0f);
    feed(*d, {0x00});
    EXPECT_EQ(t.latitude, 45.0f);
}

// Between blocks the framer counts nothing, so a signal that never sends a '$' (a receiver left
// on for weeks on something else) cannot run a count over; the next block frames as usual.
TEST(PacketFramer, AStreamWithoutBlocksLeavesItReady)
{
    PacketFramer framer;
    for (int i = 0; i < 1000000; ++i)
        ASSERT_EQ(framer.push(i % 251 == '$' ? 0 : i % 251), PacketFramer::Event::None);
    EXPECT_EQ(framer.state.count, 0);
    const auto events = push(framer, gpsBlock());
    EXPECT_EQ(events.back(), PacketFramer::Event::Finished);
    EXPECT_TRUE(framer.block().crcGood);
}

TEST(PacketFramer, GpsLengthZeroEndsAtByteTwelve)
{
    auto d = std::make_unique<Decoder>();
    Recorder rec(*d);
    GpsBlockFields fields = stationFix();
    fields.lengthField = 0;
    const Bytes block = gpsBlock(fields);
    feed(*d, Bytes(block.begin(), block.begin() + 11));
    EXPECT_TRUE(rec.events.empty());
    d->ProcessPacketByte(block[11]);
    ASSERT_EQ(rec.events.size(), 1u);
    EXPECT_EQ(rec.events[0].length, 12);
    EXPECT_EQ(d->telemetry.badPackets, 1);
    // The rest of the block is scanned as idle bytes.
    feed(*d, Bytes(block.begin() + 12, block.end()));
    EXPECT_EQ(rec.events.size(), 1u);
    EXPECT_EQ(d->framer().state.phase, PacketFramer::Phase::Idle);
}

TEST(PacketFramer, ImpossibleGpsLengthIsBadAtOnceAndLosesNoFollowingBlock)
{
    auto d = std::make_unique<Decoder>();
    Recorder rec(*d);
    GpsBlockFields fields = stationFix();
    fields.lengthField = 301;
    const Bytes corrupt = gpsBlock(fields);
    feed(*d, Bytes(corrupt.begin(), corrupt.begin() + 9));
    EXPECT_EQ(d->telemetry.badPackets, 0);
    d->ProcessPacketByte(corrupt[9]);  // 301 is refused at the length's second byte
    EXPECT_EQ(d->telemetry.badPackets, 1);
    EXPECT_EQ(d->framer().state.phase, PacketFramer::Phase::Idle);
    ASSERT_EQ(rec.events.size(), 1u);
    EXPECT_EQ(rec.events[0].length, 10);
    EXPECT_FALSE(rec.events[0].crcGood);

    d->params.updateBadCrcPackets = 1;  // nothing to show even so
    feed(*d, gpsBlock());
    EXPECT_EQ(d->telemetry.goodPackets, 1);
    EXPECT_EQ(d->telemetry.badPackets, 1);
    EXPECT_EQ(rec.fixes.size(), 1u);

    // 300 is still a length the framer waits for.
    feed(*d, Bytes(corrupt.begin(), corrupt.begin() + 8));
    feed(*d, {0x01, 0x2C});
    EXPECT_EQ(d->framer().state.phase, PacketFramer::Phase::Body);
    EXPECT_EQ(d->framer().state.expected, 312);
    EXPECT_EQ(d->telemetry.badPackets, 1);
}

TEST(PacketFramer, PtuBlockEndsAfterItsLengthByteAndTwelveWhateverTheByteBeforeIt)
{
    auto d = std::make_unique<Decoder>();
    Recorder rec(*d);
    PtuBlockFields fields;
    fields.length = 200;
    fields.lengthHigh = 0x01;  // not part of a PTU block's length
    const Bytes block = ptuBlock(fields);
    ASSERT_EQ(block.size(), 212u);

    feed(*d, Bytes(block.begin(), block.end() - 1));
    EXPECT_TRUE(rec.events.empty());
    d->ProcessPacketByte(block.back());
    ASSERT_EQ(rec.events.size(), 1u);
    EXPECT_EQ(rec.events[0].kind, BlockKind::Ptu);
    EXPECT_TRUE(rec.events[0].crcGood);
    EXPECT_EQ(rec.eventBytes[0], block);
    EXPECT_EQ(d->telemetry.goodPackets, 1);
    EXPECT_TRUE(d->telemetry.ptuDecoded);
}

TEST(PacketFramer, ShortPtuBlockIsCountedButKeepsThePreviousTexts)
{
    auto d = std::make_unique<Decoder>();
    PtuBlockFields full;
    full.channels[0] = {0x02, 0x0000};  // 65536 - 0
    full.calibration[15] = 0xAB;
    feed(*d, ptuBlock(full));
    ASSERT_TRUE(d->telemetry.ptuDecoded);
    const std::string psu = d->telemetry.psuText;
    const std::string calibration = d->telemetry.calibrationText;
    EXPECT_EQ(psu.substr(0, 8), "65536.0 ");

    // L = 53: 65 bytes, one short of the last calibration byte.
    PtuBlockFields shortBlock;
    shortBlock.length = 53;
    shortBlock.channels[0] = {0x04, 0x0000};
    feed(*d, ptuBlock(shortBlock));
    EXPECT_EQ(d->telemetry.goodPackets, 2);
    EXPECT_EQ(std::string(d->telemetry.psuText), psu);
    EXPECT_EQ(std::string(d->telemetry.calibrationText), calibration);
    EXPECT_FLOAT_EQ(d->telemetry.ptuChannels[0], 65536.0f);

    // L = 54: 66 bytes, the first checksum byte in the last calibration byte's place; decoded.
    shortBlock.length = 54;
    feed(*d, ptuBlock(shortBlock));
    EXPECT_EQ(d->telemetry.goodPackets, 3);
    EXPECT_FLOAT_EQ(d->telemetry.ptuChannels[0], 131072.0f);
}

TEST(PacketFramer, UnknownStateWritesDiagnosticAndReturnsToIdle)
{
    auto d = std::make_unique<Decoder>();
    std::vector<std::string> lines;
    d->setDiagnosticSink([&](const char* line) { lines.emplace_back(line); });
    // Only a corrupted state gets here; the test corrupts the decoder's own framer.
    PacketFramer& framer = const_cast<PacketFramer&>(d->framer());
    framer.state.phase = static_cast<PacketFramer::Phase>(5);  // no such phase
    d->ProcessPacketByte('$');
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "***DEFAULT***");
    EXPECT_EQ(framer.state.phase, PacketFramer::Phase::Idle);
    feed(*d, gpsBlock());
    EXPECT_EQ(d->telemetry.goodPackets, 1);
}

}  // namespace
}  // namespace nimbra
