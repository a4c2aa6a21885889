// IqReceiver: the SDR receiver end to end: complex samples in, the telemetry blocks the Sync
// stage finished out, for the decoder's packet framer.
//
// In:  complex samples at the input rate (48 kS/s to 3.2 MS/s), in blocks of any size.
// Out: each finished block (good, repaired, or bad but plainly a transmission) with the
//      receiver's clock when it finished: 48 kHz periods of input, a fixed latency behind.
//
// The front end (iq_front_end.h) finds the sonde, filters its channel and turns it into soft
// values; the Sync stage (demod/sync_stage.h), the same one the audio path uses, recovers the
// bit clock, frames and repairs the blocks. Nothing is allocated per sample once the front end
// has locked.
#pragma once

#include <complex>
#include <cstdint>
#include <functional>
#include <string>

#include "demod/character_sink.h"
#include "demod/sync_stage.h"
#include "iq/iq_front_end.h"
#include "iq/iq_soft_bits.h"

namespace nimbra::iq {

class IqReceiver {
public:
    using BlockSink = std::function<void(const DemodBlock& block, std::int64_t period)>;

    explicit IqReceiver(double inputRate);

    void setBlockSink(BlockSink sink) { sink_ = std::move(sink); }
    void setNoteSink(IqFrontEnd::NoteSink sink) { frontEnd_.setNoteSink(std::move(sink)); }

    void process(const std::complex<float>* samples, std::size_t count);
    // At the end of the input: what the latency still holds.
    void finish();

    // Periods handed to the stage so far: the receiver's clock (48,000 to the second).
    std::int64_t periods() const { return frontEnd_.periodsOut(); }
    const IqFrontEnd& frontEnd() const { return frontEnd_; }
    const SyncStageState& stage() const { return stage_.state; }

private:
    void period(std::int64_t q);

    IqFrontEnd frontEnd_;
    IqSoftBits source_;
    SyncStage<IqSoftBits> stage_;
    BlockSink sink_;
};

}  // namespace nimbra::iq
