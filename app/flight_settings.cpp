#include "app/flight_settings.h"

#include <QSettings>

#include <cmath>

#include "app/settings.h"

namespace nimbra {

namespace {

const char* const kGroup = "FlightTracking";

// The stored number when it is one and lies within [lo, hi], else the default.
double storedNumber(const QSettings& s, const char* key, double lo, double hi, double fallback)
{
    bool ok = false;
    const double v = s.value(QString::fromLatin1(key)).toDouble(&ok);
    return ok && std::isfinite(v) && v >= lo && v <= hi ? v : fallback;
}

}  // namespace

flight::TrackerSettings FlightTrackingSettings::tracker(double stationAltitudeM) const
{
    flight::TrackerSettings t;
    t.trust = trust;
    t.burstAltitudeM = burstAltitudeM;
    t.groundAltitudeM = groundAltitudeM.value_or(stationAltitudeM);
    t.ascentRateMps = ascentRateMps;
    t.descentRateMps = descentRateMps;
    return t;
}

FlightTrackingSettings LoadFlightTrackingSettings()
{
    QSettings s(QString::fromLatin1(kOrganization), QString::fromLatin1(kApplication));
    s.beginGroup(QString::fromLatin1(kGroup));
    const FlightTrackingSettings defaults;
    FlightTrackingSettings f;
    const QVariant trust = s.value(QStringLiteral("trust"));
    f.trust = trust.isValid() ? trust.toBool() : defaults.trust;
    // The same ranges as nimbra-decode's options.
    f.burstAltitudeM = storedNumber(s, "burstAltitude", -1000.0, 60000.0, defaults.burstAltitudeM);
    if (s.contains(QStringLiteral("groundAltitude"))) {
        const double ground = storedNumber(s, "groundAltitude", -1000.0, 60000.0, std::nan(""));
        if (!std::isnan(ground))
            f.groundAltitudeM = ground;
    }
    f.ascentRateMps = storedNumber(s, "ascentRate", 0.5, 50.0, defaults.ascentRateMps);
    f.descentRateMps = storedNumber(s, "descentRate", 0.5, 50.0, defaults.descentRateMps);
    return f;
}

void SaveFlightTrackingSettings(const FlightTrackingSettings& f)
{
    QSettings s(QString::fromLatin1(kOrganization), QString::fromLatin1(kApplication));
    s.beginGroup(QString::fromLatin1(kGroup));
    s.setValue(QStringLiteral("trust"), f.trust);
    s.setValue(QStringLiteral("burstAltitude"), f.burstAltitudeM);
    if (f.groundAltitudeM)
        s.setValue(QStringLiteral("groundAltitude"), *f.groundAltitudeM);
    else
        s.remove(QStringLiteral("groundAltitude"));
    s.setValue(QStringLiteral("ascentRate"), f.ascentRateMps);
    s.setValue(QStringLiteral("descentRate"), f.descentRateMps);
}

}  // namespace nimbra
