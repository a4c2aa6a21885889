// PTU decoding: channel values from the range table, and the two texts.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "telemetry/ptu_block.h"
#include "support/blocks.h"

namespace nimbra {
namespace {

using namespace nimbra::testing;

TEST(TelemetryPtu, ChannelValues)
{
    EXPECT_EQ(ptuRangeTable[3], 174762.703125f);
    EXPECT_EQ(decodePtuChannel(0x02, 0x00, 0x00), 65536.0f);
    EXPECT_EQ(decodePtuChannel(0x02, 0xFF, 0xFF), 1.0f);
    EXPECT_EQ(decodePtuChannel(0x00, 0x00, 0x00), -65536.0f);
    EXPECT_EQ(decodePtuChannel(0x03, 0x00, 0x00), 65536.0f);  // bit 0 ignored
    EXPECT_EQ(decodePtuChannel(0x22, 0x00, 0x00), 65536.0f);  // bit 5 ignored
    EXPECT_EQ(decodePtuChannel(0xE3, 0x00, 0x00), 65536.0f);  // bits 5-7 ignored
    EXPECT_EQ(decodePtuChannel(0x1E, 0x12, 0x34), 364730.90625f);
    EXPECT_EQ(decodePtuChannel(0x02, 0xFF, 0xFB), 5.0f);
}

TEST(TelemetryPtu, BlockTexts)
{
    auto d = std::make_unique<Decoder>();
    PtuBlockFields fields;
    const synth::PtuChannel channels[7] = {{0x02, 0x0000}, {0x02, 0xFFFF}, {0x00, 0x0000},
                                           {0x03, 0x0000}, {0x22, 0x0000}, {0x1E, 0x1234},
                                           {0x02, 0xFFFB}};
    for (int k = 0; k < 13; ++k)
        fields.channels[k] = k < 7 ? channels[k] : synth::PtuChannel{0x00, 0x0000};  // -65536
    feed(*d, ptuBlock(fields));
    ASSERT_TRUE(d->telemetry.ptuDecoded);
    EXPECT_EQ(d->telemetry.ptuChannels[5], 364730.90625f);

    std::string expected = "65536.0     1.0 -65536.0 65536.0 65536.0 364730.9     5.0 ";
    for (int k = 7; k < 13; ++k)
        expected += "-65536.0 ";
    EXPECT_EQ(std::string(d->telemetry.psuText), expected);
    std::string zeros;
    for (int i = 0; i < 16; ++i)
        zeros += "00 ";
    EXPECT_EQ(std::string(d->telemetry.calibrationText), zeros);

    // The texts are replaced, not extended, by the next block.
    for (int i = 0; i < 16; ++i)
        fields.calibration[i] = static_cast<std::uint8_t>(0xF0 + i);
    fields.calibration[0] = 0x0A;
    feed(*d, ptuBlock(fields));
    EXPECT_EQ(std::string(d->telemetry.calibrationText),
              "0A F1 F2 F3 F4 F5 F6 F7 F8 F9 FA FB FC FD FE FF ");
    EXPECT_EQ(std::string(d->telemetry.psuText), expected);
}

TEST(TelemetryPtu, BadBlockIsDecodedOnlyWhenAsked)
{
    auto d = std::make_unique<Decoder>();
    PtuBlockFields fields;
    fields.channels[0] = {0x02, 0x0000};
    Bytes block = ptuBlock(fields);
    block[20] ^= 0x40;
    feed(*d, block);
    EXPECT_EQ(d->telemetry.badPackets, 1);
    EXPECT_FALSE(d->telemetry.ptuDecoded);
    EXPECT_EQ(d->telemetry.psuText[0], '\0');

    d->params.updateBadCrcPackets = 1;
    feed(*d, block);
    EXPECT_EQ(d->telemetry.badPackets, 2);
    EXPECT_TRUE(d->telemetry.ptuDecoded);
}

}  // namespace
}  // namespace nimbra
