#include "telemetry/ptu_block.h"

#include <cstdio>

#include "block/block_format.h"
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

bool decodePtuBlock(const std::uint8_t* b, int length, TelemetryState& t)
{
    // A block too short for the channels would be decoded from bytes that are not its own;
    // keep the previous values instead.
    if (length < block::kPtuDecodedBytes)
        return false;

    for (int k = 0; k < block::kPtuChannels; ++k) {
        const std::uint8_t* channel = b + block::kPtuChannelsOffset + block::kPtuChannelBytes * k;
        t.ptuChannels[k] = decodePtuChannel(channel[0], channel[1], channel[2]);
    }

    const CLocaleScope cLocale;
    int used = 0;
    for (int k = 0; k < block::kPtuChannels; ++k)
        used += std::snprintf(t.psuText + used, sizeof t.psuText - static_cast<std::size_t>(used),
                              "%7.1f ", static_cast<double>(t.ptuChannels[k]));
    used = 0;
    for (int i = 0; i < block::kPtuCalibrationBytes; ++i)
        used += std::snprintf(t.calibrationText + used,
                              sizeof t.calibrationText - static_cast<std::size_t>(used), "%02X ",
                              static_cast<unsigned>(b[block::kPtuCalibrationOffset + i]));
    t.ptuDecoded = true;
    return true;
}

}  // namespace nimbra
