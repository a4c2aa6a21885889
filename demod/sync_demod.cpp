#include "demod/sync_demod.h"

#include "demod/sync_stage_impl.h"

namespace nimbra {

template class SyncStage<AudioSoftBits>;

bool SyncDemod::step(float sample) noexcept
{
    source.push(sample);
    return stage.step(source);
}

}  // namespace nimbra
