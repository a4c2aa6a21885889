// CRC-16/XMODEM: polynomial 0x1021, initial value 0, no reflection, no final exclusive-or.
//
// In:  bytes of a telemetry block from its '$' up to (not including) the checksum.
// Out: the 16-bit checksum that the block carries after them, high byte first.
// Shifting a whole block, checksum included, through the register step (Decoder::CrcAddByte)
// leaves 0 when the block is intact; this function gives the value a sender appends.
#pragma once

#include <cstddef>
#include <cstdint>

namespace nimbra {

// One register step: the eight bits of `byte`, most significant first, shifted into `reg`.
std::uint16_t crc16ShiftByte(std::uint16_t reg, std::uint8_t byte);

// The checksum of `length` bytes ("123456789" gives 0x31C3).
std::uint16_t crc16Xmodem(const std::uint8_t* data, std::size_t length);

}  // namespace nimbra
