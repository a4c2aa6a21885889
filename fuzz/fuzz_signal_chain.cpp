// Fuzz target: the whole signal chain, ProcessSample through to decoded-text lines, fed
// arbitrary samples with arbitrary decoder parameters.
//
// In:  a 45-byte decoder header (decoder_setup.h), then
//   45     sample format: bit 0 clear = signed 16-bit little-endian (what both sources deliver),
//          set = raw 32-bit floats (any value: NaN, infinities, far outside the 16-bit range)
//   46-47  switch interval: every (value x 16) samples the demodulator type alternates between
//          the header's and the one below, as a user switching the combo box would (0: never)
//   48     second demodType selector (as at offset 1; the raw int32 is the next four bytes)
//   49-52  raw int32 for the second selector
//   53-    the samples; an odd tail shorter than one sample is ignored.
// The accumulators are drained and the scope rings read every 4096 samples, like the window's
// periodic loop does; every sanitizer finding is a crash.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "decoder/decoder.h"
#include "fuzz/decoder_setup.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/fuzz_input.h"

namespace {

void drain(nimbra::Decoder& d)
{
    const std::string display = d.decodedDisplayText.takeAll();
    const std::string record = d.decodedRecordText.takeAll();
    // Lines are whole: each drained text is empty or ends with the carriage return of a line.
    FUZZ_CHECK(display.empty() || display.back() == '\r');
    FUZZ_CHECK(record.empty() || record.back() == '\r');
    long sum = 0;
    for (int i = 0; i < nimbra::ScopeBuffer::kSize; ++i) {
        const int decision = d.scope.decision[i];
        FUZZ_CHECK(decision >= -1 && decision <= 1);
        sum += d.scope.sample[i] & 1;
    }
    const int writeIndex = d.scope.writeIndex;
    FUZZ_CHECK(writeIndex >= 0 && writeIndex < nimbra::ScopeBuffer::kSize);
    d.scope.hold = 0;  // the view clears the hold flag after each repaint
    (void)sum;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    nimbra::fuzz::FuzzInput in(data, size);
    nimbra::fuzz::FreshDecoder d;
    const int firstDemod = nimbra::fuzz::setUpDecoder(in, *d);
    const bool floatSamples = (in.byte() & 1) != 0;
    const std::uint32_t lo = in.byte();
    const std::uint32_t interval = (lo | (static_cast<std::uint32_t>(in.byte()) << 8)) * 16;
    const std::uint8_t selector = in.byte();
    const int secondDemod = nimbra::fuzz::demodTypeFrom(selector, in.u32());

    const std::uint8_t* body = in.rest();
    const std::size_t width = floatSamples ? 4 : 2;
    const std::size_t count = in.restSize() / width;
    bool first = true;
    for (std::size_t i = 0; i < count; ++i) {
        float sample;
        if (floatSamples) {
            std::memcpy(&sample, body + 4 * i, sizeof sample);
        } else {
            const auto v = static_cast<std::int16_t>(body[2 * i] | (body[2 * i + 1] << 8));
            sample = static_cast<float>(v);
        }
        d->ProcessSample(sample);
        if (interval != 0 && (i + 1) % interval == 0) {
            first = !first;
            d->params.demodType = first ? firstDemod : secondDemod;
        }
        if ((i + 1) % 4096 == 0)
            drain(*d);
    }
    drain(*d);
    return 0;
}
