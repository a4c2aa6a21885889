#include "telemetry/decoded_line.h"

#include <cstdio>
#include <cstring>

#include "telemetry/c_locale.h"
#include "telemetry/time_stamp.h"

namespace nimbra {

int formatDecodedLine(const DecodedLineFields& f, char (&line)[kDecodedLineSize])
{
    char stamp[kTimeStampSize];
    formatTimeStamp(f.timeMs, stamp);

    int length = 0;
    {
        const CLocaleScope cLocale;
        length = std::snprintf(line, sizeof line, "%s %04X %d %.5f%c %.5f%c %.0f", stamp,
                               f.transmitterId, f.timeCounter, static_cast<double>(f.latitudeAbs),
                               f.latitudeHemisphere, static_cast<double>(f.longitudeAbs),
                               f.longitudeHemisphere, static_cast<double>(f.altitude));
    }
    if (length < 0)
        length = 0;
    // Room is kept for a carriage return after the line.
    const auto appendText = [&](const char* text) {
        const std::size_t room = sizeof line - 2 - static_cast<std::size_t>(length);
        const std::size_t n = std::strlen(text);
        const std::size_t copied = n < room ? n : room;
        std::memcpy(line + length, text, copied);
        length += static_cast<int>(copied);
    };
    if (f.psuText) {
        appendText(" ");
        appendText(f.psuText);
    }
    if (f.calibrationText) {
        appendText(" ");
        appendText(f.calibrationText);
    }
    line[length] = '\0';
    return length;
}

}  // namespace nimbra
