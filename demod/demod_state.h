// DemodState: the state of the per-sample demodulators (conditioning filter, slicer, byte framer,
// Pattern demodulator), all fixed-size and zero at start, never reset while decoding.
#pragma once

#include "demod/byte_framer.h"
#include "demod/conditioning_filter.h"
#include "demod/pattern_demod_state.h"
#include "demod/slicer_state.h"
#include "demod/sync_demod_state.h"

namespace nimbra {

struct DemodState {
    ConditioningFilter filter;
    SlicerState slicer;
    ByteFramer framer;
    PatternDemodState pattern;
    SyncDemodState sync;
};

}  // namespace nimbra
