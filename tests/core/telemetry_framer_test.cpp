// Packet framer: where blocks start and end, what is counted, what reaches the consumers and
// listeners, and the corrupted headers that must not swallow the stream.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "telemetry_blocks.h"

namespace nimbra {
namespace {

using namespace nimbra::testing;

struct Recorder {
    std::vector<PacketEvent> events;
    std::vector<Bytes> eventBytes;
    std::vector<FixRecord> fixes;

    explicit Recorder(Decoder& d)
    {
        d.setPacketListener([this](const PacketEvent& e) {
            events.push_back(e);
            eventBytes.emplace_back(e.bytes, e.bytes + e.length);
        });
        d.setFixListener([this](const FixRecord& f) { fixes.push_back(f); });
    }
};

TEST(TelemetryFramer, GoodGpsBlockIsCountedOnceAtItsLastByte)
{
    for (char variant : {'1', '2'}) {
        auto d = std::make_unique<Decoder>();
        Recorder rec(*d);
        GpsFields fields;
        fields.variant = variant;
        fields.satellites = 3;
        const Bytes block = gpsBlock(fields);
        ASSERT_EQ(block.size(), 32u + 39u + 12u);

        feed(*d, Bytes(block.begin(), block.end() - 1));
        EXPECT_EQ(d->telemetry.goodPackets, 0) << variant;
        EXPECT_TRUE(rec.fixes.empty());
        d->ProcessPacketByte(block.back());

        EXPECT_EQ(d->telemetry.goodPackets, 1) << variant;
        EXPECT_EQ(d->telemetry.badPackets, 0);
        ASSERT_EQ(rec.fixes.size(), 1u) << variant;
        EXPECT_EQ(rec.fixes[0].transmitterId, 0x1A2Bu);
        EXPECT_EQ(rec.fixes[0].timeCounter, 1234u);
        EXPECT_TRUE(rec.fixes[0].crcGood);
        ASSERT_EQ(rec.events.size(), 1u);
        EXPECT_EQ(rec.events[0].kind, 1);
        EXPECT_TRUE(rec.events[0].crcGood);
        EXPECT_EQ(rec.eventBytes[0], block);
        EXPECT_EQ(d->telemetry.framerState, 0);
        EXPECT_EQ(d->telemetry.blockKind, 0);
    }
}

TEST(TelemetryFramer, HeadersThatLoseThePacket)
{
    const Bytes block = gpsBlock({});
    // A second '$' sends state 1 back to idle, where the 'R' that follows is ignored.
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

TEST(TelemetryFramer, DollarAndHeaderBytesInsidePayloadAreOrdinaryData)
{
    auto d = std::make_unique<Decoder>();
    Recorder rec(*d);
    GpsFields fields;
    fields.id = 0x2452;       // '$' 'R'
    fields.counter = 0x2452;  // '$' 'R'
    fields.satellites = 1;
    Bytes body = gpsBody(fields);
    body[42] = '$';
    body[43] = 'R';
    body[44] = 'T';
    body[45] = '1';
    appendCrc(body);
    feed(*d, {0x00, 0x55, '$', 0x13, 0xFF});  // noise between packets first
    feed(*d, body);
    EXPECT_EQ(d->telemetry.goodPackets, 1);
    EXPECT_EQ(d->telemetry.badPackets, 0);
    ASSERT_EQ(rec.fixes.size(), 1u);
    EXPECT_EQ(rec.fixes[0].transmitterId, 0x2452u);
    EXPECT_EQ(rec.fixes[0].timeCounter, 0x2452u);
}

TEST(TelemetryFramer, BadBlockIsCountedAndShownOnlyWhenAskedButFieldsAlreadyHoldIt)
{
    GpsFields fields;
    fields.id = 0xBEEF;
    fields.counter = 777;
    fields.latitude = rawAngle(45.0);
    fields.longitude = rawAngle(-90.0);
    fields.altitude = rawMillimetres(12345000);
    Bytes block = gpsBlock(fields);
    block.back() ^= 0x01;

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

TEST(TelemetryFramer, GpsLengthZeroEndsAtByteTwelve)
{
    auto d = std::make_unique<Decoder>();
    Recorder rec(*d);
    GpsFields fields;
    fields.blockLength = 0;
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
    EXPECT_EQ(d->telemetry.framerState, 0);
}

TEST(TelemetryFramer, ImpossibleGpsLengthIsBadAtOnceAndLosesNoFollowingBlock)
{
    auto d = std::make_unique<Decoder>();
    Recorder rec(*d);
    GpsFields fields;
    fields.blockLength = 301;
    const Bytes corrupt = gpsBlock(fields);
    feed(*d, Bytes(corrupt.begin(), corrupt.begin() + 10));
    EXPECT_EQ(d->telemetry.badPackets, 1);
    EXPECT_EQ(d->telemetry.framerState, 0);
    ASSERT_EQ(rec.events.size(), 1u);
    EXPECT_EQ(rec.events[0].length, 10);
    EXPECT_FALSE(rec.events[0].crcGood);

    d->params.updateBadCrcPackets = 1;  // nothing to show even so
    feed(*d, gpsBlock({}));
    EXPECT_EQ(d->telemetry.goodPackets, 1);
    EXPECT_EQ(d->telemetry.badPackets, 1);
    EXPECT_EQ(rec.fixes.size(), 1u);

    // 300 is still a length the framer waits for.
    feed(*d, Bytes(corrupt.begin(), corrupt.begin() + 8));
    feed(*d, {0x01, 0x2C});
    EXPECT_EQ(d->telemetry.framerState, 1007);
    EXPECT_EQ(d->telemetry.badPackets, 1);
}

TEST(TelemetryFramer, PtuBlockEndsAfterLengthPlusTwelveAndStoresAtMostOneHundredEntries)
{
    auto d = std::make_unique<Decoder>();
    Recorder rec(*d);
    PtuFields fields;
    fields.length = 200;
    Bytes block = ptuBlock(fields);
    for (std::size_t i = 63; i < 210; ++i)
        block[i] = static_cast<std::uint8_t>(i);  // recognisable filler beyond the channels
    block.resize(210);
    appendCrc(block);
    ASSERT_EQ(block.size(), 212u);

    feed(*d, Bytes(block.begin(), block.end() - 1));
    EXPECT_TRUE(rec.events.empty());
    d->ProcessPacketByte(block.back());
    ASSERT_EQ(rec.events.size(), 1u);
    EXPECT_EQ(rec.events[0].kind, 2);
    EXPECT_TRUE(rec.events[0].crcGood);
    EXPECT_EQ(rec.events[0].length, 212);
    EXPECT_EQ(d->telemetry.goodPackets, 1);
    EXPECT_EQ(d->telemetry.ptuByteCount, 100);
    EXPECT_EQ(d->telemetry.ptuBytes[6], 200);
    EXPECT_EQ(d->telemetry.ptuBytes[0], 0xA1);
    EXPECT_EQ(d->telemetry.ptuBytes[99], 102);  // offset 102, the last entry stored
    EXPECT_TRUE(d->telemetry.ptuDecoded);
}

TEST(TelemetryFramer, ShortPtuBlockIsCountedButKeepsThePreviousTexts)
{
    auto d = std::make_unique<Decoder>();
    PtuFields full;
    full.channels[0][0] = 0x02;  // 65536 - 0
    full.calibration[15] = 0xAB;
    feed(*d, ptuBlock(full));
    ASSERT_TRUE(d->telemetry.ptuDecoded);
    const std::string psu = d->telemetry.psuText;
    const std::string calibration = d->telemetry.calibrationText;
    EXPECT_EQ(psu.substr(0, 8), "65536.0 ");

    // L = 53 leaves 62 entries after the 'M': one short of the calibration bytes.
    PtuFields shortBlock;
    shortBlock.length = 53;
    shortBlock.channels[0][0] = 0x04;
    feed(*d, ptuBlock(shortBlock));
    EXPECT_EQ(d->telemetry.goodPackets, 2);
    EXPECT_EQ(d->telemetry.ptuByteCount, 62);
    EXPECT_EQ(std::string(d->telemetry.psuText), psu);
    EXPECT_EQ(std::string(d->telemetry.calibrationText), calibration);
    EXPECT_FLOAT_EQ(d->telemetry.ptuChannels[0], 65536.0f);

    // L = 54 fills entry 62 (with the first checksum byte) and is decoded.
    shortBlock.length = 54;
    feed(*d, ptuBlock(shortBlock));
    EXPECT_EQ(d->telemetry.goodPackets, 3);
    EXPECT_FLOAT_EQ(d->telemetry.ptuChannels[0], 131072.0f);
}

TEST(TelemetryFramer, RepairedBitsAndChecksumOutcomeReachTheListeners)
{
    auto d = std::make_unique<Decoder>();
    Recorder rec(*d);
    d->setBitsRepaired(3);
    feed(*d, gpsBlock({}));
    feed(*d, gpsBlock({}));
    ASSERT_EQ(rec.events.size(), 2u);
    ASSERT_EQ(rec.fixes.size(), 2u);
    EXPECT_EQ(rec.events[0].bitsRepaired, 3);
    EXPECT_EQ(rec.fixes[0].bitsRepaired, 3);
    EXPECT_EQ(rec.events[1].bitsRepaired, 0);
    EXPECT_EQ(rec.fixes[1].bitsRepaired, 0);
}

TEST(TelemetryFramer, UnknownStateWritesDiagnosticAndReturnsToIdle)
{
    auto d = std::make_unique<Decoder>();
    std::vector<std::string> lines;
    d->setDiagnosticSink([&](const char* line) { lines.emplace_back(line); });
    d->telemetry.framerState = 5;
    d->ProcessPacketByte('$');
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "***DEFAULT***");
    EXPECT_EQ(d->telemetry.framerState, 0);
    feed(*d, gpsBlock({}));
    EXPECT_EQ(d->telemetry.goodPackets, 1);
}

}  // namespace
}  // namespace nimbra
