// DesktopSettings: the desktop program's own settings beyond the decoder parameters, kept in the
// same settings store under the group "Desktop" so that the decoder's top-level keys stay as they
// are: the channel decoded from recordings with more than one, the folder of map tiles, the tile
// server (tileUrl, tileAttribution, tileCacheMegabytes, tilesOfflineOnly), and the window's size
// and the placement of its panels.
#pragma once

#include <QByteArray>
#include <QString>

#include "app/tile_fetcher.h"

namespace nimbra {

struct DesktopSettings {
    static constexpr int kMaxChannel = 32;
    static constexpr int kMinTileCacheMegabytes = 10;
    static constexpr int kMaxTileCacheMegabytes = 10000;

    int waveChannel = 1;   // 1-based
    QString tileFolder;    // empty: no map tiles
    TileNetworkSettings tiles;
    QByteArray windowGeometry;
    QByteArray windowState;

    static DesktopSettings load();
    void save() const;
};

}  // namespace nimbra
