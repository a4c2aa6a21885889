#include "telemetry/gps_block.h"

#include "block/block_format.h"
#include "telemetry/gps_fix.h"

namespace nimbra {

void publishGpsField(const std::uint8_t* b, int received, TelemetryState& t) noexcept
{
    using namespace block;
    switch (received - 1) {  // offset of the newest byte
    case kTransmitterIdOffset + 1:
        t.transmitterId = static_cast<std::uint16_t>(read16(b + kTransmitterIdOffset));
        break;
    case kTimeCounterOffset + 1:
        t.timeCounter = static_cast<std::uint16_t>(read16(b + kTimeCounterOffset));
        break;
    case kLengthOffset + 1:
        t.blockLength = static_cast<std::uint16_t>(read16(b + kLengthOffset));
        break;
    case kLatitudeOffset + 3:
        t.latitude = gpsAngleFromRaw(read32(b + kLatitudeOffset));
        break;
    case kLongitudeOffset + 3:
        t.longitude = gpsAngleFromRaw(read32(b + kLongitudeOffset));
        break;
    case kAltitudeOffset + 3:
        t.altitude = gpsAltitudeFromRaw(read32(b + kAltitudeOffset));
        break;
    default:
        break;
    }
}

}  // namespace nimbra
