#include "telemetry/crc16.h"

#include "demod/decoder.h"

namespace nimbra {

// The register is fed the message bits themselves (not the message xor the register's top bit),
// so after the data it must also be fed 16 zero bits to hold the conventional CRC value. That is
// what makes "block plus its own checksum" shift to 0.
std::uint16_t crc16ShiftByte(std::uint16_t reg, std::uint8_t byte)
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

std::uint16_t crc16Xmodem(const std::uint8_t* data, std::size_t length)
{
    std::uint16_t reg = 0;
    for (std::size_t i = 0; i < length; ++i)
        reg = crc16ShiftByte(reg, data[i]);
    reg = crc16ShiftByte(reg, 0);
    return crc16ShiftByte(reg, 0);
}

void Decoder::CrcAddByte(int byte)
{
    telemetry.crcRegister = crc16ShiftByte(telemetry.crcRegister, static_cast<std::uint8_t>(byte));
}

}  // namespace nimbra
