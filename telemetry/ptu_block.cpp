#include "telemetry/ptu_block.h"

#include <cstdio>

#include "demod/decoder.h"
#include "telemetry/c_locale.h"

namespace nimbra {

const float ptuRangeTable[16] = {
    -65536.0f,  65536.0f,  131072.0f,  174762.7f, 207530.7f, 233745.1f, 255590.4f, 274315.0f,
    290699.0f,  305262.5f, 318369.7f,  330285.4f, 341208.0f, 351290.5f, 360652.8f, 369390.9f,
};

float decodePtuChannel(int selector, int high, int low)
{
    const int index = (selector / 2) & 15;
    return static_cast<float>(static_cast<double>(ptuRangeTable[index]) - (high * 256 + low));
}

void Decoder::DecodePtuBlock()
{
    TelemetryState& t = telemetry;
    // A block too short for the channels would be decoded from bytes of an older block; keep
    // the previous values instead.
    if (t.ptuByteCount < kPtuDecodedEntries)
        return;

    for (int k = 0; k < TelemetryState::kPtuChannels; ++k) {
        const int* channel = &t.ptuBytes[kPtuFirstChannelEntry + 3 * k];
        t.ptuChannels[k] = decodePtuChannel(channel[0], channel[1], channel[2]);
    }

    const CLocaleScope cLocale;
    int used = 0;
    for (int k = 0; k < TelemetryState::kPtuChannels; ++k)
        used += std::snprintf(t.psuText + used, sizeof t.psuText - static_cast<std::size_t>(used),
                              "%7.1f ", static_cast<double>(t.ptuChannels[k]));
    used = 0;
    for (int i = 0; i < kPtuCalibrationBytes; ++i)
        used += std::snprintf(t.calibrationText + used,
                              sizeof t.calibrationText - static_cast<std::size_t>(used), "%02X ",
                              static_cast<unsigned>(t.ptuBytes[kPtuFirstCalibrationEntry + i]));
    t.ptuDecoded = true;
}

}  // namespace nimbra
