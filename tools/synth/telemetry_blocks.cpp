#include "synth/telemetry_blocks.h"

namespace nimbra::synth {

namespace {

void put16(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value));
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    put16(out, value >> 16);
    put16(out, value & 0xFFFFu);
}

void appendChecksum(std::vector<std::uint8_t>& block)
{
    put16(block, xmodemCrc(block.data(), block.size()));
}

}  // namespace

std::uint16_t xmodemCrc(const std::uint8_t* data, std::size_t size)
{
    std::uint16_t crc = 0;
    for (std::size_t i = 0; i < size; ++i) {
        crc = static_cast<std::uint16_t>(crc ^ (data[i] << 8));
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<std::uint16_t>((crc & 0x8000u) ? (crc << 1) ^ 0x1021u : crc << 1);
    }
    return crc;
}

std::vector<std::uint8_t> buildGpsBlock(const GpsBlockFields& f)
{
    const int numSatellites = f.numSatellites < 0 ? 0 : (f.numSatellites > 255 ? 255 : f.numSatellites);
    std::vector<std::uint8_t> block{'$', 'R', 'T', static_cast<std::uint8_t>(f.variant)};
    put16(block, f.transmitterId);
    put16(block, f.timeCounter);
    put16(block, static_cast<std::uint32_t>(gpsBlockLength(numSatellites)));
    put32(block, f.gpsTimeMs);
    put32(block, f.gpsWeek);
    put32(block, static_cast<std::uint32_t>(f.latitudeRaw));
    put32(block, static_cast<std::uint32_t>(f.longitudeRaw));
    put32(block, static_cast<std::uint32_t>(f.altitudeMm));
    put32(block, 0x00120034u);  // velocity-like fields: not interpreted by the receiver
    put32(block, 0xFFF0000Cu);
    put32(block, 0x03000000u | static_cast<std::uint32_t>(numSatellites));
    // Satellite records: number, signal levels and residues that vary from record to record.
    for (int s = 0; s < numSatellites; ++s) {
        const std::uint32_t seed = f.timeCounter * 31u + static_cast<std::uint32_t>(s) * 7u;
        block.push_back(static_cast<std::uint8_t>(1 + (s * 5 + 3) % 32));
        for (int k = 1; k < 13; ++k)
            block.push_back(static_cast<std::uint8_t>((seed * (k + 11) + k * 29) & 0xFF));
    }
    appendChecksum(block);
    return block;
}

std::vector<std::uint8_t> buildPtuBlock(const PtuBlockFields& f)
{
    const int length = f.length < 56 ? 56 : f.length;
    // Header: a '1' as in GPS blocks, the frame counter, two fixed bytes.
    std::vector<std::uint8_t> block{'$', 'R', 'M', '1'};
    put16(block, f.frameCounter);
    block.push_back(0x01);
    block.push_back(0x02);
    // Offset 8 is the high byte of a 16-bit length field whose low byte is L.
    block.push_back(0x00);
    block.push_back(static_cast<std::uint8_t>(length));
    block.push_back(0x00);  // offset 10: not interpreted
    for (const PtuChannel& c : f.channels) {
        block.push_back(c.selector);
        put16(block, c.count);
    }
    block.insert(block.end(), f.calibration.begin(), f.calibration.end());
    // Filler up to the length the block announces (offset L + 10 is the first checksum byte).
    while (block.size() < static_cast<std::size_t>(length) + 10)
        block.push_back(static_cast<std::uint8_t>(0x40 + block.size() % 16));
    appendChecksum(block);
    return block;
}

void corruptChecksum(std::vector<std::uint8_t>& block)
{
    if (!block.empty())
        block.back() ^= 0x01;
}

}  // namespace nimbra::synth
