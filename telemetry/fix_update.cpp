// Fix update: for each finished GPS block that is to be shown, the plausibility test, the
// values of the last accepted fix, the look angles from the station, the motion, and one line
// of decoded text:
//   "dd MMM yyyy hh:mm:ss IIII counter lat.xxxxxN lon.xxxxxW alt[ psuText][ calibrationText]\r"
//
// In:  the GPS fields of TelemetryState, previousFix, the PTU texts, the decoder parameters and
//      the decoder's clock.
// Out: the accepted-fix values of TelemetryState, the line appended to decodedRecordText (while
//      recording) and decodedDisplayText, and a FixRecord for the fix listener.

#include <cstdio>
#include <cstring>

#include "demod/decoder.h"
#include "telemetry/c_locale.h"
#include "telemetry/geometry.h"
#include "telemetry/gps_fix.h"
#include "telemetry/motion.h"
#include "telemetry/time_stamp.h"

namespace nimbra {

void Decoder::updatePacketDisplay()
{
    TelemetryState& t = telemetry;
    const float latitude = t.latitude;
    const float longitude = t.longitude;
    const float altitude = t.altitude;

    // The range criterion needs this fix's own range, so the look angles come first; they are
    // stored only once the fix is accepted. Testing the previous fix's range instead would let
    // one distant fix reject every later one.
    const LookAngles look =
        ComputeLookAngles(params.userLat, params.userLon, params.userAlt, latitude, longitude,
                          altitude);
    if (params.rejectBogus != 0 &&
        !isPlausibleFix(latitude, longitude, altitude, look.rangeKm, params.maxRange))
        return;

    const Hemisphere lat = splitHemisphere(latitude, 'N', 'S');
    const Hemisphere lon = splitHemisphere(longitude, 'E', 'W');
    t.latitudeAbs = lat.absolute;
    t.latitudeHemisphere = lat.letter;
    t.longitudeAbs = lon.absolute;
    t.longitudeHemisphere = lon.letter;
    t.range = look.rangeKm;
    t.azimuth = look.azimuthDeg;
    t.elevation = look.elevationDeg;

    const std::int64_t nowMs = clock_();
    char stamp[kTimeStampSize];
    formatTimeStamp(nowMs, stamp);

    // Ample for the first part (under 80 characters) and both PTU texts at their largest.
    char line[4096];
    int length = 0;
    {
        const CLocaleScope cLocale;
        length = std::snprintf(line, sizeof line, "%s %04X %d %.5f%c %.5f%c %.0f", stamp,
                               static_cast<unsigned>(t.transmitterId),
                               static_cast<int>(t.timeCounter),
                               static_cast<double>(lat.absolute), lat.letter,
                               static_cast<double>(lon.absolute), lon.letter,
                               static_cast<double>(altitude));
    }
    if (length < 0)
        length = 0;
    const auto appendText = [&](const char* text) {
        const std::size_t room = sizeof line - 2 - static_cast<std::size_t>(length);
        const std::size_t n = std::strlen(text);
        const std::size_t copied = n < room ? n : room;
        std::memcpy(line + length, text, copied);
        length += static_cast<int>(copied);
    };
    if (params.displayPsuData != 0) {
        appendText(" ");
        appendText(t.psuText);
    }
    if (params.displayCalibrationData != 0) {
        appendText(" ");
        appendText(t.calibrationText);
    }
    line[length] = '\r';
    line[length + 1] = '\0';

    updateMotion(t);
    t.previousFix.latitude = latitude;
    t.previousFix.longitude = longitude;
    t.previousFix.altitude = altitude;
    t.previousFix.timeCounter = t.timeCounter;

    const std::string_view text(line, static_cast<std::size_t>(length) + 1);
    if (params.recordDecodedText != 0)
        decodedRecordText.append(text);
    decodedDisplayText.append(text);

    if (fixListener_) {
        line[length] = '\0';  // the listener gets the line without its carriage return
        FixRecord fix;
        fix.timeMs = nowMs;
        fix.transmitterId = t.transmitterId;
        fix.timeCounter = t.timeCounter;
        fix.latitude = latitude;
        fix.longitude = longitude;
        fix.altitude = altitude;
        fix.azimuth = look.azimuthDeg;
        fix.elevation = look.elevationDeg;
        fix.range = look.rangeKm;
        fix.ascent = t.ascent;
        fix.velocity = t.velocity;
        fix.direction = t.direction;
        fix.crcGood = lastBlockCrcGood_;
        fix.bitsRepaired = bitsRepaired_;
        fix.hasPtu = t.ptuDecoded;
        for (int k = 0; k < TelemetryState::kPtuChannels; ++k)
            fix.ptuChannels[k] = t.ptuChannels[k];
        fix.line = line;
        fix.sampleIndex = samplesConsumed_;
        fix.ebN0Db = blockEbN0_;
        fixListener_(fix);
    }
}

}  // namespace nimbra
