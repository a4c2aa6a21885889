#include "outputs/fix_context.h"

namespace nimbra::outputs {

FixContext FixContextMaker::make(const FlightFix& fix)
{
    const unsigned id = fix.record.transmitterId;
    if (fixesOfId_ == 0 || id != lastId_) {
        lastId_ = id;
        fixesOfId_ = 0;
    }
    if (fixesOfId_ < kMotionWarmupFixes)
        ++fixesOfId_;
    FixContext context;
    context.serial = identity_.serialOf(id);
    context.motionKnown = fixesOfId_ >= kMotionWarmupFixes;
    return context;
}

}  // namespace nimbra::outputs
