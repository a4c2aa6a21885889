// The block format and its checksum: the CRC-16/XMODEM check value and register step worked by
// hand, every single-bit error caught, and the length of each kind of block read as the framer
// and both block demodulators read it.
#include <gtest/gtest.h>

#include <cstring>

#include "block/block_format.h"
#include "block/crc16.h"
#include "support/blocks.h"

namespace nimbra {
namespace {

using namespace nimbra::testing;

TEST(BlockFormatCrc, CheckValueAndEmptyInput)
{
    const char* check = "123456789";
    EXPECT_EQ(crc16Xmodem(reinterpret_cast<const std::uint8_t*>(check), std::strlen(check)),
              0x31C3);
    EXPECT_EQ(crc16Xmodem(nullptr, 0), 0x0000);
    EXPECT_EQ(crc16Register(nullptr, 0), 0x0000);
}

TEST(BlockFormatCrc, RegisterStepShiftsDataBitsInAtBitZero)
{
    // Worked by hand: 0x8000 with data 0x80: the first bit sets bit 0 and the carried-out bit
    // folds in 0x1021 (0x1020); three plain shifts give 0x8100; the next carries again
    // (0x1221); three more give 0x9108.
    EXPECT_EQ(crc16ShiftByte(0x8000, 0x80), 0x9108);
    EXPECT_EQ(crc16ShiftByte(0x0000, 0xFF), 0x00FF);
    // The framer's register step takes the low eight bits of its argument only.
    PacketFramer framer;
    framer.state.crcRegister = 0x8000;
    framer.CrcAddByte(0x180);
    EXPECT_EQ(framer.state.crcRegister, 0x9108);
}

TEST(BlockFormatCrc, BlockWithItsChecksumLeavesZeroAndEverySingleBitFlipIsCaught)
{
    const Bytes block = gpsBlock();
    EXPECT_EQ(crc16Register(block.data(), block.size()), 0);
    EXPECT_EQ(crc16Xmodem(block.data(), block.size() - 2),
              block[block.size() - 2] * 256 + block.back());
    int caught = 0;
    for (std::size_t i = 0; i < block.size(); ++i) {
        for (int bit = 0; bit < 8; ++bit) {
            Bytes flipped = block;
            flipped[i] ^= static_cast<std::uint8_t>(1u << bit);
            if (crc16Register(flipped.data(), flipped.size()) != 0)
                ++caught;
        }
    }
    EXPECT_EQ(caught, static_cast<int>(block.size()) * 8);
}

TEST(BlockFormat, LengthOfEachKind)
{
    // GPS: the 16-bit field at offsets 8-9. PTU: the byte at offset 9 alone, whatever offset 8
    // holds.
    const std::uint8_t gps[10] = {'$', 'R', 'T', '1', 0, 0, 0, 0, 0x01, 0x2C};
    const std::uint8_t ptu[10] = {'$', 'R', 'M', '1', 0, 0, 0, 0, 0x01, 0x3C};
    EXPECT_EQ(block::kindOf(gps[2]), BlockKind::Gps);
    EXPECT_EQ(block::kindOf(ptu[2]), BlockKind::Ptu);
    EXPECT_EQ(block::kindOf('X'), BlockKind::None);
    EXPECT_EQ(block::lengthOf(BlockKind::Gps, gps), 300);
    EXPECT_EQ(block::lengthOf(BlockKind::Ptu, ptu), 60);

    // The layout in numbers: a GPS block without satellites, the longest block, the bytes a PTU
    // block needs for its channels and calibration bytes.
    EXPECT_EQ(gpsBlock().size(), static_cast<std::size_t>(32 + 12));
    EXPECT_EQ(block::kMaxBlockBytes, 312);
    EXPECT_EQ(block::kPtuCalibrationOffset, 50);
    EXPECT_EQ(block::kPtuDecodedBytes, 66);
    EXPECT_EQ(block::read32(gpsBlock().data() + block::kAltitudeOffset), 220000u);
}

}  // namespace
}  // namespace nimbra
