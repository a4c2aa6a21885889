#include "app/station_settings.h"

#include <QSettings>

#include <cmath>

#include "app/settings.h"

namespace nimbra {

namespace {

double number(const QSettings& s, const char* key, double fallback, double lo, double hi)
{
    bool ok = false;
    const double v = s.value(QLatin1String(key), fallback).toDouble(&ok);
    return ok && std::isfinite(v) && v >= lo && v <= hi ? v : fallback;
}

int port(const QSettings& s, const char* key, int fallback)
{
    bool ok = false;
    const int v = s.value(QLatin1String(key), fallback).toInt(&ok);
    return ok && v >= 1 && v <= 65535 ? v : fallback;
}

QString host(const QSettings& s, const char* key, const QString& fallback)
{
    const QString v = s.value(QLatin1String(key), fallback).toString().trimmed();
    return StationSettings::checkHost(v).isEmpty() ? v : fallback;
}

}  // namespace

QString StationSettings::checkHost(const QString& h)
{
    if (h.trimmed().isEmpty())
        return QStringLiteral("a host name or address is needed");
    for (const QChar c : h.trimmed())
        if (c.isSpace() || c == QLatin1Char('/') || c.unicode() < 0x20)
            return QStringLiteral("a host name may not hold spaces or slashes");
    return {};
}

StationSettings StationSettings::load()
{
    QSettings s{QLatin1String(kOrganization), QLatin1String(kApplication)};
    StationSettings d, r;
    s.beginGroup(QStringLiteral("Station"));
    r.positionFromGps = s.value(QStringLiteral("positionFromGps"), false).toBool();
    r.gpsdHost = host(s, "gpsdHost", d.gpsdHost);
    r.gpsdPort = port(s, "gpsdPort", d.gpsdPort);
    s.endGroup();
    s.beginGroup(QStringLiteral("Rotator"));
    r.rotatorOn = s.value(QStringLiteral("on"), false).toBool();
    r.rotatorHost = host(s, "host", d.rotatorHost);
    r.rotatorPort = port(s, "port", d.rotatorPort);
    r.thresholdDeg = number(s, "threshold", d.thresholdDeg, 0.1, 90.0);
    r.intervalS = number(s, "interval", d.intervalS, 0.5, 3600.0);
    r.azimuthOnly = s.value(QStringLiteral("azimuthOnly"), false).toBool();
    r.homeOn = s.value(QStringLiteral("home"), false).toBool();
    r.homeAzimuth = number(s, "homeAzimuth", d.homeAzimuth, 0.0, 359.99);
    r.homeElevation = number(s, "homeElevation", d.homeElevation, 0.0, 90.0);
    r.homeAfterMinutes = number(s, "homeAfterMinutes", d.homeAfterMinutes, 1.0, 1440.0);
    return r;
}

void StationSettings::save() const
{
    QSettings s{QLatin1String(kOrganization), QLatin1String(kApplication)};
    s.beginGroup(QStringLiteral("Station"));
    s.setValue(QStringLiteral("positionFromGps"), positionFromGps);
    s.setValue(QStringLiteral("gpsdHost"), gpsdHost);
    s.setValue(QStringLiteral("gpsdPort"), gpsdPort);
    s.endGroup();
    s.beginGroup(QStringLiteral("Rotator"));
    s.setValue(QStringLiteral("on"), rotatorOn);
    s.setValue(QStringLiteral("host"), rotatorHost);
    s.setValue(QStringLiteral("port"), rotatorPort);
    s.setValue(QStringLiteral("threshold"), thresholdDeg);
    s.setValue(QStringLiteral("interval"), intervalS);
    s.setValue(QStringLiteral("azimuthOnly"), azimuthOnly);
    s.setValue(QStringLiteral("home"), homeOn);
    s.setValue(QStringLiteral("homeAzimuth"), homeAzimuth);
    s.setValue(QStringLiteral("homeElevation"), homeElevation);
    s.setValue(QStringLiteral("homeAfterMinutes"), homeAfterMinutes);
}

station::GpsdAddress StationSettings::gpsdAddress() const
{
    return {gpsdHost.trimmed().toStdString(), gpsdPort};
}

station::RotctldAddress StationSettings::rotctldAddress() const
{
    return {rotatorHost.trimmed().toStdString(), rotatorPort};
}

station::RotatorSettings StationSettings::rotatorSettings() const
{
    station::RotatorSettings r;
    r.thresholdDeg = thresholdDeg;
    r.intervalS = intervalS;
    r.azimuthOnly = azimuthOnly;
    r.homeAfterS = homeOn ? homeAfterMinutes * 60.0 : 0.0;
    r.homeAzimuth = homeAzimuth;
    r.homeElevation = homeElevation;
    return r;
}

}  // namespace nimbra
