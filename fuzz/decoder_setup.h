// Decoder set-up shared by the fuzz targets: the first 45 bytes of an input choose every decoder
// parameter and the clock of the time stamps, so that one input decides both the settings and
// the data, as a settings store with any values followed by any recording would.
//
// Header layout (offsets in bytes; a "real" is a mode byte and four value bytes, see FuzzInput):
//   0      flags: bit 0 invertSignal, 1 doFiltering, 2 autoThreshold, 3 rejectBogus,
//          4 updateBadCrcPackets, 5 displayPsuData, 6 displayCalibrationData, 7 recordDecodedText
//   1      demodType selector: 0-3 (mod 8) as such (Edge, Level, Pattern, Sync), 4-7 (mod 8)
//          take the raw int32 at offset 2
//   2-5    raw demodType (any int32, negative and huge included)
//   6-10   samplesPerBit, real in [3, 7]
//   11-15  threshold, real in [0, 40000]
//   16-20  maxRange km, real in [0, 20000]
//   21-25  userLat, real in [-90, 90]
//   26-30  userLon, real in [-180, 180]
//   31-35  userAlt m, real in [-500, 40000]
//   36     clock mode: 0 (mod 4) takes the raw int64 at offset 37 as ms since 1970, any other
//          value a time in 2023 to 2026 (seconds taken from the low 27 bits); bit 2 set: the
//          signal is measured (input level, per-block Eb/N0 estimate)
//   37-44  raw clock
#pragma once

#include <cstdint>
#include <new>

#include "decoder/decoder.h"
#include "fuzz/fuzz_input.h"

namespace nimbra::fuzz {

constexpr int kDecoderHeaderSize = 45;

// A fresh decoder for every input, built in the same static storage each time: the object is
// large, and a heap block of that size per input would cost more than the decoding itself under
// AddressSanitizer (a mapping and its quarantine per run).
class FreshDecoder {
public:
    FreshDecoder() { decoder_ = new (storage_) Decoder(); }
    ~FreshDecoder() { decoder_->~Decoder(); }
    FreshDecoder(const FreshDecoder&) = delete;
    FreshDecoder& operator=(const FreshDecoder&) = delete;
    Decoder& operator*() { return *decoder_; }
    Decoder* operator->() { return decoder_; }

private:
    alignas(Decoder) static inline unsigned char storage_[sizeof(Decoder)];
    Decoder* decoder_;
};

inline int demodTypeFrom(std::uint8_t selector, std::uint32_t raw)
{
    return selector % 8 < 4 ? selector % 8 : static_cast<int>(raw);
}

// Reads the header and sets the decoder's parameters and clock. Returns the demodType chosen.
inline int setUpDecoder(FuzzInput& in, Decoder& d)
{
    const std::uint8_t flags = in.byte();
    const std::uint8_t selector = in.byte();
    const std::uint32_t rawDemod = in.u32();
    DecoderParameters& p = d.params;
    p.invertSignal = (flags >> 0) & 1;
    p.doFiltering = (flags >> 1) & 1;
    p.autoThreshold = (flags >> 2) & 1;
    p.rejectBogus = (flags >> 3) & 1;
    p.updateBadCrcPackets = (flags >> 4) & 1;
    p.displayPsuData = (flags >> 5) & 1;
    p.displayCalibrationData = (flags >> 6) & 1;
    p.recordDecodedText = (flags >> 7) & 1;
    const int demodType = demodTypeFrom(selector, rawDemod);
    p.demodType = demodType;
    p.samplesPerBit = in.real(3.0f, 7.0f);
    p.threshold = in.real(0.0f, 40000.0f);
    p.maxRange = in.real(0.0f, 20000.0f);
    p.userLat = in.real(-90.0f, 90.0f);
    p.userLon = in.real(-180.0f, 180.0f);
    p.userAlt = in.real(-500.0f, 40000.0f);

    const std::uint8_t clockMode = in.byte();
    const std::uint64_t rawClock = in.u64();
    const std::int64_t nowMs = clockMode % 4 == 0
        ? static_cast<std::int64_t>(rawClock)
        : 1672531200000LL + static_cast<std::int64_t>(rawClock & 0x7FFFFFF) * 1000;
    d.setClock([nowMs] { return nowMs; });
    d.setSignalMeasurement(((clockMode >> 2) & 1) != 0);
    // The framer's trace lines would flood the fuzzer's output.
    d.setDiagnosticSink([](const char*) {});
    return demodType;
}

}  // namespace nimbra::fuzz
