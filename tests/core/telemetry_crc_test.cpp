// CRC-16/XMODEM: the check value, the register step, and a block that catches every single-bit
// error.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "telemetry_blocks.h"

namespace nimbra {
namespace {

using namespace nimbra::testing;

TEST(TelemetryCrc, CheckValueAndEmptyInput)
{
    const char* check = "123456789";
    EXPECT_EQ(crc16Xmodem(reinterpret_cast<const std::uint8_t*>(check), std::strlen(check)),
              0x31C3);
    EXPECT_EQ(crc16Xmodem(nullptr, 0), 0x0000);
}

TEST(TelemetryCrc, RegisterStepShiftsDataBitsInAtBitZero)
{
    auto d = std::make_unique<Decoder>();
    // Worked by hand: 0x8000 with data 0x80: the first bit sets bit 0 and the carried-out bit
    // folds in 0x1021 (0x1020); three plain shifts give 0x8100; the next carries again
    // (0x1221); three more give 0x9108.
    d->telemetry.crcRegister = 0x8000;
    d->CrcAddByte(0x80);
    EXPECT_EQ(d->telemetry.crcRegister, 0x9108);
    // Only the low eight bits of the argument are data.
    d->telemetry.crcRegister = 0;
    d->CrcAddByte(0x1FF);
    EXPECT_EQ(d->telemetry.crcRegister, 0x00FF);
}

TEST(TelemetryCrc, BlockWithItsChecksumLeavesZeroAndEverySingleBitFlipIsCaught)
{
    auto d = std::make_unique<Decoder>();
    const Bytes block = gpsBlock({});
    const auto registerAfter = [&](const Bytes& bytes) {
        d->telemetry.crcRegister = 0;
        for (std::uint8_t b : bytes)
            d->CrcAddByte(b);
        return d->telemetry.crcRegister;
    };
    EXPECT_EQ(registerAfter(block), 0);
    int caught = 0;
    for (std::size_t i = 0; i < block.size(); ++i) {
        for (int bit = 0; bit < 8; ++bit) {
            Bytes flipped = block;
            flipped[i] ^= static_cast<std::uint8_t>(1u << bit);
            if (registerAfter(flipped) != 0)
                ++caught;
        }
    }
    EXPECT_EQ(caught, static_cast<int>(block.size()) * 8);
}

}  // namespace
}  // namespace nimbra
