#include "telemetry/fix_stage.h"

#include "telemetry/geometry.h"
#include "telemetry/gps_fix.h"
#include "telemetry/motion.h"

namespace nimbra {

const FixRecord* FixStage::update(TelemetryState& t, const FixSettings& s, const FixOrigin& origin,
                                  const Clock& clock)
{
    const float latitude = t.latitude;
    const float longitude = t.longitude;
    const float altitude = t.altitude;

    const LookAngles look =
        ComputeLookAngles(s.stationLat, s.stationLon, s.stationAlt, latitude, longitude, altitude);
    if (s.rejectBogus && !isPlausibleFix(latitude, longitude, altitude, look.rangeKm, s.maxRangeKm))
        return nullptr;

    const Hemisphere lat = splitHemisphere(latitude, 'N', 'S');
    const Hemisphere lon = splitHemisphere(longitude, 'E', 'W');
    t.latitudeAbs = lat.absolute;
    t.latitudeHemisphere = lat.letter;
    t.longitudeAbs = lon.absolute;
    t.longitudeHemisphere = lon.letter;
    t.range = look.rangeKm;
    t.azimuth = look.azimuthDeg;
    t.elevation = look.elevationDeg;

    DecodedLineFields fields;
    fields.timeMs = clock();
    fields.transmitterId = t.transmitterId;
    fields.timeCounter = t.timeCounter;
    fields.latitudeAbs = lat.absolute;
    fields.latitudeHemisphere = lat.letter;
    fields.longitudeAbs = lon.absolute;
    fields.longitudeHemisphere = lon.letter;
    fields.altitude = altitude;
    fields.psuText = s.appendPsu ? t.psuText : nullptr;
    fields.calibrationText = s.appendCalibration ? t.calibrationText : nullptr;
    formatDecodedLine(fields, line_);

    // The line is made before the motion update and carries no motion values.
    updateMotion(t);
    t.previousFix.latitude = latitude;
    t.previousFix.longitude = longitude;
    t.previousFix.altitude = altitude;
    t.previousFix.timeCounter = t.timeCounter;

    FixRecord& r = record_;
    r.timeMs = fields.timeMs;
    r.transmitterId = t.transmitterId;
    r.timeCounter = t.timeCounter;
    r.latitude = latitude;
    r.longitude = longitude;
    r.altitude = altitude;
    r.azimuth = look.azimuthDeg;
    r.elevation = look.elevationDeg;
    r.range = look.rangeKm;
    r.ascent = t.ascent;
    r.velocity = t.velocity;
    r.direction = t.direction;
    r.crcGood = origin.crcGood;
    r.bitsRepaired = origin.bitsRepaired;
    r.hasPtu = t.ptuDecoded;
    for (int k = 0; k < TelemetryState::kPtuChannels; ++k)
        r.ptuChannels[k] = t.ptuChannels[k];
    r.line = line_;
    r.sampleIndex = origin.sampleIndex;
    r.ebN0Db = origin.ebN0Db;
    return &r;
}

}  // namespace nimbra
