// MapTiles: a background of map tiles for the track view, from a local folder in the usual
// z/x/y layout (FOLDER/z/x/y.png, 256-pixel Web Mercator tiles, as tile servers and offline map
// tools write them) and, where the folder has none, from a tile server (TileFetcher). A tile
// that is in neither yet is not drawn; nothing waits for one.
//
// In:  the folder (empty: none), the tile server (none: the folder alone); for each repaint, the
//      view's projection, scale and extent.
// Out: the tiles that cover the view, each drawn over the rectangle its corners project to (over
//      a few hundred kilometres the two projections differ by less than a pixel per tile).
//      Loaded tiles are cached (up to kCacheMegabytes).
#pragma once

#include <QCache>
#include <QPixmap>
#include <QString>

#include <functional>

#include "app/local_projection.h"

class QPainter;

namespace nimbra {

class TileFetcher;

class MapTiles {
public:
    static constexpr int kTileSize = 256;
    static constexpr int kMaxZoom = 19;
    static constexpr int kMaxTilesPerPaint = 100;
    static constexpr int kCacheMegabytes = 64;

    MapTiles();

    void setFolder(const QString& folder);
    const QString& folder() const { return folder_; }
    void setNetwork(TileFetcher* network) { network_ = network; }
    TileFetcher* network() const { return network_; }
    bool networkEnabled() const;
    bool enabled() const { return !folder_.isEmpty() || networkEnabled(); }

    // The zoom level whose tiles show about one tile pixel per screen pixel.
    static int zoomFor(double pixelsPerKm, double latitude);
    // Tile coordinates (fractional) of a position at zoom z, and back.
    static double tileX(double longitude, int z);
    static double tileY(double latitude, int z);
    static double longitudeOf(double x, int z);
    static double latitudeOf(double y, int z);
    QString pathOf(int z, int x, int y) const;

    // Draws the tiles covering the plane rectangle [west, east] x [south, north] (km).
    // Returns the number of tiles drawn.
    int draw(QPainter& painter, const LocalProjection& projection,
             const std::function<QPointF(const PlanePoint&)>& toScreen, double west, double east,
             double south, double north, double pixelsPerKm);

private:
    const QPixmap* tile(int z, int x, int y);
    const QPixmap* localTile(int z, int x, int y);

    QString folder_;
    TileFetcher* network_ = nullptr;
    QCache<QString, QPixmap> cache_;  // cost in kilobytes
    QPixmap missing_;                 // a null pixmap, cached for tiles not in the folder
};

}  // namespace nimbra
