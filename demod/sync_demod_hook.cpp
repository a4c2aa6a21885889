// Sample entry of the Sync demodulator (demodType 3): hands each finished block to the packet
// framer through the same character path as the other demodulators, so counts, text lines and
// listeners work unchanged. A repaired block carries the number of bits flipped, and every block
// where it lay in the input (for its quality estimate).
#include "demod/decoder.h"
#include "demod/sync_demod.h"

namespace nimbra {

void Decoder::processSyncSample(float s)
{
    if (!syncDemodSample(demod_.sync, s))
        return;
    const SyncBlock& block = demod_.sync.block;
    // The block ended where the next character would start; its bit length is the clock's.
    BlockTiming timing;
    timing.bitLength = demod_.sync.bitLength;
    const double toDecoderTime = double(samplesConsumed_ - demod_.sync.count);
    const double duration = block.length * 10.0 * timing.bitLength;
    timing.dollarStart = demod_.sync.charStart + toDecoderTime - duration;
    timing.startTolerance = duration * 0.001 + 4.0;
    timing.rateTolerance = 0.002;
    setBlockTiming(timing);
    setBitsRepaired(block.bitsRepaired);
    for (int i = 0; i < block.length; ++i)
        emitCharacter(block.bytes[i]);
    setBitsRepaired(0);
}

}  // namespace nimbra
