// A sonde of the band as nimbra-synth's --sonde describes it.
#pragma once

#include <string>

#include "synth/band.h"

namespace nimbra::synth {

// "key=value,...": id=HEX, offset=HZ, deviation=HZ, level=DB, drift=HZ_PER_S, fade=DB/SECONDS,
// on=SECONDS, off=SECONDS, rise=DB/SECONDS, counter=N (HZ takes k and M). Keys not given keep
// the values `sonde` has. False with `error` naming the fault.
bool parseSondeSpec(const std::string& spec, BandSonde& sonde, std::string& error);

}  // namespace nimbra::synth
