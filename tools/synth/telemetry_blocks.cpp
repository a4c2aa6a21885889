#include "synth/telemetry_blocks.h"

#include "block/crc16.h"
#include "synth/serial_line.h"

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

}  // namespace

void appendChecksum(std::vector<std::uint8_t>& block)
{
    put16(block, crc16Xmodem(block.data(), block.size()));
}

std::vector<std::uint8_t> gpsPayload(const GpsBlockFields& f)
{
    const int numSatellites = f.numSatellites < 0 ? 0 : (f.numSatellites > 255 ? 255 : f.numSatellites);
    std::vector<std::uint8_t> p;
    put32(p, f.gpsTimeMs);
    put32(p, f.gpsWeek);
    put32(p, static_cast<std::uint32_t>(f.latitudeRaw));
    put32(p, static_cast<std::uint32_t>(f.longitudeRaw));
    put32(p, static_cast<std::uint32_t>(f.altitudeMm));
    put32(p, 0x00120034u);  // velocity-like fields: not interpreted by the receiver
    put32(p, 0xFFF0000Cu);
    put32(p, 0x03000000u | static_cast<std::uint32_t>(numSatellites));
    for (int s = 0; s < numSatellites; ++s) {
        const std::uint32_t seed = f.timeCounter * 31u + static_cast<std::uint32_t>(s) * 7u;
        p.push_back(static_cast<std::uint8_t>(1 + (s * 5 + 3) % 32));
        for (int k = 1; k < block::kSatelliteRecordBytes; ++k)
            p.push_back(static_cast<std::uint8_t>((seed * (k + 11) + k * 29) & 0xFF));
    }
    return p;
}

std::vector<std::uint8_t> buildGpsBlock(const GpsBlockFields& f,
                                        const std::vector<std::uint8_t>& payload)
{
    std::vector<std::uint8_t> b{block::kStart, block::kSecond, block::kGpsKind,
                                static_cast<std::uint8_t>(f.variant)};
    put16(b, f.transmitterId);
    put16(b, f.timeCounter);
    put16(b, static_cast<std::uint32_t>(f.lengthField >= 0 ? f.lengthField
                                                           : static_cast<int>(payload.size())));
    b.insert(b.end(), payload.begin(), payload.end());
    appendChecksum(b);
    return b;
}

std::vector<std::uint8_t> buildGpsBlock(const GpsBlockFields& f)
{
    return buildGpsBlock(f, gpsPayload(f));
}

std::vector<std::uint8_t> buildPtuBlock(const PtuBlockFields& f)
{
    // Header: a '1' as in GPS blocks, the frame counter, two fixed bytes, the 16-bit length.
    std::vector<std::uint8_t> b{block::kStart, block::kSecond, block::kPtuKind, '1'};
    put16(b, f.frameCounter);
    b.push_back(0x01);
    b.push_back(0x02);
    b.push_back(f.lengthHigh);
    b.push_back(f.length);
    b.push_back(0x00);  // offset 10: not interpreted
    for (const PtuChannel& c : f.channels) {
        b.push_back(c.selector);
        put16(b, c.count);
    }
    b.insert(b.end(), f.calibration.begin(), f.calibration.end());
    // Filler up to the length the block announces (offset L + 10 is the first checksum byte),
    // or the contents cut off there.
    const std::size_t end = static_cast<std::size_t>(f.length) + block::kHeaderBytes;
    while (b.size() < end)
        b.push_back(static_cast<std::uint8_t>(0x40 + b.size() % 16));
    b.resize(end);
    appendChecksum(b);
    return b;
}

void corruptChecksum(std::vector<std::uint8_t>& block)
{
    if (!block.empty())
        block.back() ^= 0x01;
}

void sendBlock(SerialLine& line, const std::vector<std::uint8_t>& block)
{
    for (int i = 0; i < block::kSyncCharacters; ++i)
        line.addCharacter(block::kSyncCharacter);
    line.addCharacters(block);
}

}  // namespace nimbra::synth
