#include "iq/iq_receiver.h"

#include "demod/sync_stage_impl.h"

namespace nimbra {

template class SyncStage<iq::IqSoftBits>;

namespace iq {

IqReceiver::IqReceiver(double inputRate) : frontEnd_(inputRate), source_(frontEnd_)
{
    frontEnd_.setPeriodSink([this](std::int64_t q) { period(q); });
}

void IqReceiver::process(const std::complex<float>* samples, std::size_t count)
{
    frontEnd_.process(samples, count);
}

void IqReceiver::finish() { frontEnd_.finish(); }

void IqReceiver::period(std::int64_t q)
{
    source_.setPeriod(q);
    if (stage_.step(source_) && sink_)
        sink_(stage_.block(), q + 1);
}

}  // namespace iq
}  // namespace nimbra
