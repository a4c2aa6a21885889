// Fuzz target: the packet framer fed arbitrary bytes, with arbitrary decoder parameters.
//
// In:  a 45-byte decoder header (decoder_setup.h), then bytes handed one by one to
//      ProcessPacketByte, as the byte framer or the Pattern demodulator would hand them.
// Checks, besides the sanitizers: every finished block moves exactly one counter by one and
// starts with '$'; a block called good has a zero CRC over its bytes; every accepted fix adds
// exactly its own line, ended by one carriage return, to the display text and to the record
// text while recording is on; the hemisphere letters and the PTU texts stay well-formed.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "decoder/decoder.h"
#include "block/block_format.h"
#include "block/crc16.h"
#include "fuzz/decoder_setup.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/fuzz_input.h"

namespace {

void checkTexts(const nimbra::TelemetryState& t)
{
    const char lat = t.latitudeHemisphere;
    const char lon = t.longitudeHemisphere;
    FUZZ_CHECK(lat == '\0' || lat == 'N' || lat == 'S');
    FUZZ_CHECK(lon == '\0' || lon == 'E' || lon == 'W');
    FUZZ_CHECK(std::memchr(t.psuText, '\0', sizeof t.psuText) != nullptr);
    FUZZ_CHECK(std::memchr(t.calibrationText, '\0', sizeof t.calibrationText) != nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    nimbra::fuzz::FuzzInput in(data, size);
    nimbra::fuzz::FreshDecoder d;
    nimbra::fuzz::setUpDecoder(in, *d);
    const bool recording = d->params.recordDecodedText != 0;

    std::string expectedLines;
    int events = 0;
    d->setFixListener([&](const nimbra::FixRecord& fix) {
        FUZZ_CHECK(fix.line != nullptr);
        const std::size_t length = std::strlen(fix.line);
        FUZZ_CHECK(length < 4096);
        FUZZ_CHECK(std::memchr(fix.line, '\r', length) == nullptr);
        FUZZ_CHECK(std::memchr(fix.line, '\n', length) == nullptr);
        expectedLines.append(fix.line, length);
        expectedLines.push_back('\r');
    });
    d->setPacketListener([&](const nimbra::PacketEvent& event) {
        ++events;
        FUZZ_CHECK(event.kind == nimbra::BlockKind::Gps || event.kind == nimbra::BlockKind::Ptu);
        FUZZ_CHECK(event.length >= 1 && event.length <= nimbra::block::kMaxBlockBytes);
        FUZZ_CHECK(event.bytes != nullptr && event.bytes[0] == nimbra::block::kStart);
        if (event.crcGood)
            FUZZ_CHECK(nimbra::crc16Register(event.bytes, static_cast<std::size_t>(event.length)) == 0);
    });

    const std::uint8_t* body = in.rest();
    const std::size_t n = in.restSize();
    for (std::size_t i = 0; i < n; ++i) {
        const int countedBefore = d->telemetry.goodPackets + d->telemetry.badPackets;
        const int eventsBefore = events;
        d->ProcessPacketByte(body[i]);
        const int counted = d->telemetry.goodPackets + d->telemetry.badPackets - countedBefore;
        FUZZ_CHECK(counted == events - eventsBefore);
        FUZZ_CHECK(counted == 0 || counted == 1);
        if (counted != 0) {
            checkTexts(d->telemetry);
            const std::string display = d->decodedDisplayText.takeAll();
            const std::string record = d->decodedRecordText.takeAll();
            FUZZ_CHECK(display == expectedLines);
            FUZZ_CHECK(record == (recording ? expectedLines : std::string()));
            expectedLines.clear();
        }
    }
    return 0;
}
