#include "app/label_texts.h"

#include <QChar>

#include "app/c_format.h"
#include "telemetry/telemetry_state.h"

namespace nimbra {

int percentGood(int good, int bad)
{
    if (good < 1)
        return 0;
    return static_cast<int>(static_cast<long long>(good) * 100 / (static_cast<long long>(good) + bad));
}

LabelTexts makeLabelTexts(const TelemetryState& t)
{
    const QChar degree(0x00B0);
    LabelTexts l;
    l.id = cFormat("Nimbra ID: %04X", static_cast<unsigned>(t.transmitterId.load()));
    l.latitude = cFormat("Latitude: %g %c", static_cast<double>(t.latitudeAbs.load()),
                         t.latitudeHemisphere.load());
    l.longitude = cFormat("Longitude: %g %c", static_cast<double>(t.longitudeAbs.load()),
                          t.longitudeHemisphere.load());
    l.altitude = cFormat("Altitude: %7.1f m", static_cast<double>(t.altitude.load()));
    l.azimuth = cFormat("Azimuth: %7.2f ", static_cast<double>(t.azimuth.load())) + degree;
    l.elevation = cFormat("Elevation: %7.2f ", static_cast<double>(t.elevation.load())) + degree;
    l.range = cFormat("Range: %7.2f km", static_cast<double>(t.range.load()));
    l.ascent = cFormat("Ascent: %7.2f m/s", static_cast<double>(t.ascent.load()));
    l.velocity = cFormat("Velocity: %7.2f m/s", static_cast<double>(t.velocity.load()));
    l.direction = cFormat("Direction: %7.2f ", static_cast<double>(t.direction.load())) + degree;
    const int good = t.goodPackets.load();
    const int bad = t.badPackets.load();
    l.goodBad = cFormat("Good:%d Bad:%d %d%c ", good, bad, percentGood(good, bad), '%');
    return l;
}

}  // namespace nimbra
