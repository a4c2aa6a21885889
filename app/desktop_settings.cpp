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
    // A stored address that is not usable reads as the default; an empty one means no network.
    const QString url = store.value(QStringLiteral("tileUrl"), s.tiles.urlTemplate).toString().trimmed();
    if (checkTileUrl(url).isEmpty())
        s.tiles.urlTemplate = url;
    s.tiles.attribution = store.value(QStringLiteral("tileAttribution"), s.tiles.attribution).toString();
    bool ok = false;
    const int cache = store.value(QStringLiteral("tileCacheMegabytes"), s.tiles.cacheMegabytes).toInt(&ok);
    if (ok && cache >= kMinTileCacheMegabytes && cache <= kMaxTileCacheMegabytes)
        s.tiles.cacheMegabytes = cache;
    s.tiles.offlineOnly = store.value(QStringLiteral("tilesOfflineOnly"), false).toBool();
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
    store.setValue(QStringLiteral("tileUrl"), tiles.urlTemplate);
    store.setValue(QStringLiteral("tileAttribution"), tiles.attribution);
    store.setValue(QStringLiteral("tileCacheMegabytes"), tiles.cacheMegabytes);
    store.setValue(QStringLiteral("tilesOfflineOnly"), tiles.offlineOnly);
    store.setValue(QStringLiteral("windowGeometry"), windowGeometry);
    store.setValue(QStringLiteral("windowState"), windowState);
}

}  // namespace nimbra
