#include "telemetry/gps_fix.h"

#include <cmath>

#include "block/block_format.h"

namespace nimbra {

namespace {

// The fields are two's complement; converting through int64 avoids relying on the
// implementation's unsigned-to-signed narrowing.
std::int32_t asSigned(std::uint32_t raw)
{
    const std::int64_t wide = raw;
    return static_cast<std::int32_t>(raw >= 0x80000000u ? wide - 0x100000000LL : wide);
}

}  // namespace

float gpsAngleFromRaw(std::uint32_t raw)
{
    return static_cast<float>(static_cast<double>(asSigned(raw)) * 180.0 * std::ldexp(1.0, -31));
}

float gpsAltitudeFromRaw(std::uint32_t raw)
{
    return static_cast<float>(static_cast<double>(asSigned(raw)) / 1000.0);
}

bool isPlausibleFix(float latitude, float longitude, float altitude, float rangeKm,
                    float maxRangeKm)
{
    if (altitude < 0.0f || altitude > 50000.0f)
        return false;
    if (latitude > 90.0f || latitude < -90.0f)
        return false;
    if (longitude < -180.0f || longitude > 180.0f)
        return false;
    return !(rangeKm > maxRangeKm);
}

Hemisphere splitHemisphere(float value, char positive, char negative)
{
    if (value < 0.0f)
        return {-value, negative};
    return {value, positive};
}

int satellitesInGpsBlock(unsigned blockLength)
{
    const unsigned fixed = block::kGpsFixedLength, record = block::kSatelliteRecordBytes;
    if (blockLength < fixed || (blockLength - fixed) % record != 0)
        return -1;
    return static_cast<int>((blockLength - fixed) / record);
}

}  // namespace nimbra
