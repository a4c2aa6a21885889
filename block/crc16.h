// CRC-16/XMODEM of telemetry blocks: polynomial 0x1021, initial value 0, no reflection, no final
// exclusive-or. The one implementation, used by the packet framer, the demodulators that check
// whole blocks, the synthesizer, the tests and the fuzz targets.
//
// In:  bytes of a block from its '$'.
// Out: crc16Xmodem: the checksum a sender appends, high byte first; crc16Register: the register
//      after shifting bytes in one by one with crc16ShiftByte, 0 for an intact block fed through
//      its own checksum.
#pragma once

#include <cstddef>
#include <cstdint>

namespace nimbra {

// One register step: the eight bits of `byte`, most significant first, shifted into `reg` at
// bit 0, the polynomial folded in for every bit that falls out at bit 15. The register is fed
// the message bits themselves (not the message xor its top bit), so after the data it must also
// be fed 16 zero bits to hold the conventional CRC value; that is what makes "block plus its own
// checksum" shift to 0.
inline std::uint16_t crc16ShiftByte(std::uint16_t reg, std::uint8_t byte)
{
    unsigned r = reg;
    for (int bit = 7; bit >= 0; --bit) {
        const unsigned top = r & 0x8000u;
        r = ((r << 1) & 0xFFFFu) | ((byte >> bit) & 1u);
        if (top)
            r ^= 0x1021u;
    }
    return static_cast<std::uint16_t>(r);
}

// The register after `length` bytes shifted in from 0.
inline std::uint16_t crc16Register(const std::uint8_t* data, std::size_t length)
{
    std::uint16_t reg = 0;
    for (std::size_t i = 0; i < length; ++i)
        reg = crc16ShiftByte(reg, data[i]);
    return reg;
}

// The checksum of `length` bytes ("123456789" gives 0x31C3).
inline std::uint16_t crc16Xmodem(const std::uint8_t* data, std::size_t length)
{
    const std::uint16_t reg = crc16Register(data, length);
    return crc16ShiftByte(crc16ShiftByte(reg, 0), 0);
}

}  // namespace nimbra
