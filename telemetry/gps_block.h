// GPS block decoding: the identifier, time counter, length and position of a GPS block, read
// from its bytes as they arrive.
//
// In:  the bytes of a GPS block received so far (from its '$'), after each new byte.
// Out: the GPS fields of TelemetryState. Each field is written the moment its last byte has
//      arrived: the identifier, time counter and length at their second byte, latitude,
//      longitude and altitude (converted by gps_fix.h) at their fourth. The labels thus follow a
//      block as it arrives, and a block that later fails its checksum, or is rejected as
//      implausible, has still left its values there. A field is never seen half written.
#pragma once

#include <cstdint>

#include "telemetry/telemetry_state.h"

namespace nimbra {

// Writes the field that byte number `received` (counting the '$' as 1) completes, if any.
void publishGpsField(const std::uint8_t* block, int received, TelemetryState& telemetry) noexcept;

}  // namespace nimbra
