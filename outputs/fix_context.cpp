#include "outputs/fix_context.h"

namespace nimbra::outputs {

FixContext FixContextMaker::make(const FlightFix& fix)
{
    const unsigned id = fix.record.transmitterId;
    // Each channel has a decoder of its own, and so motion values of its own.
    Warmup& w = warmups_[fix.channel];
    if (w.fixes == 0 || id != w.id) {
        w.id = id;
        w.fixes = 0;
    }
    if (w.fixes < kMotionWarmupFixes)
        ++w.fixes;
    FixContext context;
    context.serial = identity_.serialOf(id);
    context.motionKnown = w.fixes >= kMotionWarmupFixes;
    return context;
}

}  // namespace nimbra::outputs
