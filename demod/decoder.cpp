#include "demod/decoder.h"

#include <chrono>
#include <utility>

namespace nimbra {

namespace {

std::int64_t systemClockMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

}  // namespace

Decoder::Decoder() : clock_(systemClockMs) {}

void Decoder::setClock(Clock clock)
{
    clock_ = clock ? std::move(clock) : Clock(systemClockMs);
}

void Decoder::setFixListener(FixListener listener) { fixListener_ = std::move(listener); }

void Decoder::setPacketListener(PacketListener listener) { packetListener_ = std::move(listener); }

Decoder& globalDecoder()
{
    static Decoder instance;
    return instance;
}

}  // namespace nimbra
