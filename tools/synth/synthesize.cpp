#include "synth/synthesize.h"

namespace nimbra::synth {

Recording synthesizeFlight(const FlightSettings& settings, Channel& channel)
{
    Recording r;
    r.flight = makeFlight(settings);
    r.samples = toPcm16(channel.render(r.flight.line.bits(), settings.samplesPerBit), &r.clippedSamples);
    return r;
}

Recording synthesizeFlight(const FlightSettings& settings, const AudioChannelSettings& audio)
{
    AudioChannel channel(audio);
    return synthesizeFlight(settings, channel);
}

}  // namespace nimbra::synth
