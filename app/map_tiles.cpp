#include "app/map_tiles.h"

#include <QDir>
#include <QFileInfo>
#include <QPainter>

#include <algorithm>
#include <cmath>

#include "app/tile_fetcher.h"

namespace nimbra {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kEquatorKm = 40075.016686;
constexpr double kMaxLatitude = 85.05112878;  // the Web Mercator square

}  // namespace

MapTiles::MapTiles() : cache_(kCacheMegabytes * 1024) {}

void MapTiles::setFolder(const QString& folder)
{
    if (folder == folder_)
        return;
    folder_ = folder;
    cache_.clear();
}

int MapTiles::zoomFor(double pixelsPerKm, double latitude)
{
    // A tile pixel covers kEquatorKm cos(latitude) / (256 * 2^z) km.
    const double c = std::max(0.01, std::cos(latitude * kPi / 180.0));
    const double z = std::log2(kEquatorKm * c * pixelsPerKm / kTileSize);
    return std::clamp(static_cast<int>(std::lround(z)), 0, kMaxZoom);
}

double MapTiles::tileX(double longitude, int z)
{
    return (longitude + 180.0) / 360.0 * std::ldexp(1.0, z);
}

double MapTiles::tileY(double latitude, int z)
{
    const double phi = std::clamp(latitude, -kMaxLatitude, kMaxLatitude) * kPi / 180.0;
    return (1.0 - std::log(std::tan(phi) + 1.0 / std::cos(phi)) / kPi) / 2.0 * std::ldexp(1.0, z);
}

double MapTiles::longitudeOf(double x, int z)
{
    return x / std::ldexp(1.0, z) * 360.0 - 180.0;
}

double MapTiles::latitudeOf(double y, int z)
{
    const double n = kPi * (1.0 - 2.0 * y / std::ldexp(1.0, z));
    return std::atan(std::sinh(n)) * 180.0 / kPi;
}

QString MapTiles::pathOf(int z, int x, int y) const
{
    return QDir(folder_).filePath(QStringLiteral("%1/%2/%3.png").arg(z).arg(x).arg(y));
}

bool MapTiles::networkEnabled() const { return network_ && network_->enabled(); }

const QPixmap* MapTiles::tile(int z, int x, int y)
{
    const QPixmap* local = folder_.isEmpty() ? nullptr : localTile(z, x, y);
    if (local || !networkEnabled())
        return local;
    return network_->tile(z, x, y);
}

const QPixmap* MapTiles::localTile(int z, int x, int y)
{
    const QString path = pathOf(z, x, y);
    if (const QPixmap* cached = cache_.object(path))
        return cached->isNull() ? nullptr : cached;
    auto* pixmap = new QPixmap;
    if (QFileInfo::exists(path))
        pixmap->load(path);
    const int cost = pixmap->isNull() ? 1 : std::max(1, pixmap->width() * pixmap->height() * 4 / 1024);
    const bool found = !pixmap->isNull();
    cache_.insert(path, pixmap, cost);
    return found ? cache_.object(path) : nullptr;
}

int MapTiles::draw(QPainter& painter, const LocalProjection& projection,
                   const std::function<QPointF(const PlanePoint&)>& toScreen, double west,
                   double east, double south, double north, double pixelsPerKm)
{
    if (!enabled())
        return 0;
    if (networkEnabled())
        network_->beginPaint();
    const double midLatitude = projection.latitudeOf({0.0, (south + north) / 2.0});
    const int z = zoomFor(pixelsPerKm, midLatitude);
    const double n = std::ldexp(1.0, z);
    const auto x0 = static_cast<int>(std::floor(tileX(projection.longitudeOf({west, 0.0}), z)));
    const auto x1 = static_cast<int>(std::floor(tileX(projection.longitudeOf({east, 0.0}), z)));
    const auto y0 = static_cast<int>(std::floor(tileY(projection.latitudeOf({0.0, north}), z)));
    const auto y1 = static_cast<int>(std::floor(tileY(projection.latitudeOf({0.0, south}), z)));
    if ((x1 - x0 + 1) * (y1 - y0 + 1) > kMaxTilesPerPaint)
        return 0;
    int drawn = 0;
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    for (int y = std::max(0, y0); y <= std::min(y1, static_cast<int>(n) - 1); ++y) {
        for (int x = x0; x <= x1; ++x) {
            // Longitude wraps: tile x is taken modulo the row.
            const int wrapped = ((x % static_cast<int>(n)) + static_cast<int>(n)) % static_cast<int>(n);
            const QPixmap* pixmap = tile(z, wrapped, y);
            if (!pixmap)
                continue;
            const PlanePoint nw = projection.toPlane(latitudeOf(y, z), longitudeOf(x, z));
            const PlanePoint se = projection.toPlane(latitudeOf(y + 1, z), longitudeOf(x + 1, z));
            painter.drawPixmap(QRectF(toScreen(nw), toScreen(se)), *pixmap, QRectF(pixmap->rect()));
            ++drawn;
        }
    }
    return drawn;
}

}  // namespace nimbra
