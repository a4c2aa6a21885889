// Sample entry of the Sync demodulator (demodType 3): hands each finished block to the packet
// framer through the same character path as the other demodulators, so counts, text lines and
// listeners work unchanged. A repaired block carries the number of bits flipped.
#include "demod/decoder.h"
#include "demod/sync_demod.h"

namespace nimbra {

void Decoder::processSyncSample(float s)
{
    if (!syncDemodSample(demod_.sync, s))
        return;
    const SyncBlock& block = demod_.sync.block;
    setBitsRepaired(block.bitsRepaired);
    for (int i = 0; i < block.length; ++i)
        emitCharacter(block.bytes[i]);
    setBitsRepaired(0);
}

}  // namespace nimbra
