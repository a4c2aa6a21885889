// Two-channel IQ WAVE recordings, as SDR programs write them: I in the left channel, Q in the
// right, 16-bit integer or 32-bit float (any sample type libsndfile reads), rate from the header.
//
// In:  a descriptor (taken over) of a file or a pipe.
// Out: an IqSource, or null with `error` set when the input is not a two-channel audio file.
#pragma once

#include <memory>
#include <string>

#include "iq/iq_source.h"

namespace nimbra::iq {

std::unique_ptr<IqSource> openWaveIq(int fd, const std::string& name, std::string& error);

}  // namespace nimbra::iq
