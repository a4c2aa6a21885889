// Synthesize: a flight through a channel into 16-bit samples, the whole chain in one call.
//
// In:  FlightSettings and AudioChannelSettings (or any Channel).
// Out: 48 kHz 16-bit samples, the expected fixes and the block counts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "synth/audio_channel.h"
#include "synth/flight.h"
#include "synth/wav_file.h"

namespace nimbra::synth {

struct Recording {
    std::vector<std::int16_t> samples;
    Flight flight;
    std::size_t clippedSamples = 0;
};

Recording synthesizeFlight(const FlightSettings& flight, Channel& channel);
Recording synthesizeFlight(const FlightSettings& flight, const AudioChannelSettings& audio);

}  // namespace nimbra::synth
