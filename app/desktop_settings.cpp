#include "app/desktop_settings.h"

#include <QSettings>

#include <algorithm>

#include "app/settings.h"

namespace nimbra {

namespace {

const char* const kGroup = "Desktop";

}  // namespace

DesktopSettings DesktopSettings::load()
{
    QSettings store{QLatin1String(kOrganization), QLatin1String(kApplication)};
    store.beginGroup(QLatin1String(kGroup));
    DesktopSettings s;
    s.waveChannel = std::clamp(store.value(QStringLiteral("waveChannel"), 1).toInt(), 1, kMaxChannel);
    s.tileFolder = store.value(QStringLiteral("tileFolder")).toString();
    s.windowGeometry = store.value(QStringLiteral("windowGeometry")).toByteArray();
    s.windowState = store.value(QStringLiteral("windowState")).toByteArray();
    return s;
}

void DesktopSettings::save() const
{
    QSettings store{QLatin1String(kOrganization), QLatin1String(kApplication)};
    store.beginGroup(QLatin1String(kGroup));
    store.setValue(QStringLiteral("waveChannel"), waveChannel);
    store.setValue(QStringLiteral("tileFolder"), tileFolder);
    store.setValue(QStringLiteral("windowGeometry"), windowGeometry);
    store.setValue(QStringLiteral("windowState"), windowState);
}

}  // namespace nimbra
