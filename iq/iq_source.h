// IQ sources: where the complex samples of an SDR recording or stream come from: sample sources
// (input/sample_source.h) of complex samples, with their conventions: blocks of whatever is
// available, a stop descriptor that wakes a wait for data, errors as text.
//
// In:  raw interleaved IQ (cu8, cs8, cs16, cf32) from a file or standard input at a stated rate,
//      or a two-channel IQ WAVE file (I left, Q right; rate from its header) from a file or
//      standard input.
// Out: complex samples, full scale 1, at the source's own rate. A stream that ends inside a
//      sample decodes to its last whole sample.
#pragma once

#include <complex>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "input/sample_source.h"
#include "iq/iq_format.h"

namespace nimbra::iq {

using IqSource = input::BasicSource<std::complex<float>>;

// Raw interleaved IQ from `fd` (taken over). `format` must be a raw format.
std::unique_ptr<IqSource> openRawIq(int fd, const std::string& name, IqFormat format, double rate);

// Opens `path` ("-": standard input) in `format` at `rate` (ignored for WAVE, whose header gives
// it; a `rate` above 0 must then match the header). On failure returns null and sets `error` to
// one line naming the problem: a missing or unreadable file, a WAVE file that is not two-channel,
// a rate outside 48 kS/s to 10 MS/s, a --rate the header contradicts.
std::unique_ptr<IqSource> openIqInput(const std::string& path, IqFormat format, double rate,
                                      std::string& error);

}  // namespace nimbra::iq
