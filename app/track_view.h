// TrackView: where the balloon has gone and where it is heading. A plan of the ground in
// kilometres east and north of the station, north up: range rings around the station, a scale
// bar, the track of the current transmitter with the ascent and the descent in different
// colours, its last position, the station, and the predicted path and landing point when the
// flight tracking gives one. Over map tiles from a local folder and a tile server (MapTiles,
// TileFetcher), with the map's attribution; the view never waits for a tile. With the station's
// position from a GPS, the plan is centred on the car: its trail, and the bearing and distance
// to the sonde and to the landing (chase_overlay.h).
//
// In:  the flight log; the station position from the decoder parameters, or the DesktopStation
//      (the GPS's position while it has one); mouse: drag to pan, wheel to zoom about the
//      pointer, double-click to fit the flight again.
// Out: the drawing. Until the user pans or zooms, the view follows the flight, keeping the
//      station, the track and the predicted landing in sight.
#pragma once

#include <QPoint>
#include <QPointF>
#include <QWidget>

#include "app/local_projection.h"
#include "app/map_tiles.h"

namespace nimbra {

class DesktopStation;
class FlightLog;
class TileFetcher;
struct DecoderParameters;
struct TileNetworkSettings;

class TrackView : public QWidget {
    Q_OBJECT

public:
    static constexpr double kMinPixelsPerKm = 0.01;
    static constexpr double kMaxPixelsPerKm = 20000.0;

    TrackView(const FlightLog& log, const DecoderParameters& params, QWidget* parent = nullptr);

    QSize sizeHint() const override { return {420, 360}; }
    QSize minimumSizeHint() const override { return {200, 160}; }

    void setTileFolder(const QString& folder);
    void setTileNetwork(const TileNetworkSettings& settings);
    MapTiles& tiles() { return tiles_; }
    TileFetcher& tileNetwork() { return *network_; }
    void setStation(const DesktopStation* station);

    // View state, for tests and the fit.
    double pixelsPerKm() const { return pixelsPerKm_; }
    PlanePoint centre() const { return centre_; }
    bool following() const { return following_; }
    // Follows the flight again: the next repaint fits the station, the track and the landing.
    void fitFlight();
    void zoomBy(double factor, const QPointF& about);
    void panBy(const QPointF& pixels);
    QPointF toScreen(const PlanePoint& p) const;
    PlanePoint toPlane(const QPointF& screen) const;
    // A "nice" length (1, 2 or 5 times a power of ten) near `km`.
    static double niceLength(double km);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    LocalProjection projection() const;
    void fit();
    void drawRings(QPainter& p, bool stationMarker);
    void drawChaseAndAttribution(QPainter& p, const LocalProjection& projection);
    void drawTrack(QPainter& p, const LocalProjection& projection);
    void drawScaleAndNorth(QPainter& p);

    const FlightLog& log_;
    const DecoderParameters& params_;
    MapTiles tiles_;
    TileFetcher* network_;
    const DesktopStation* station_ = nullptr;
    double originLat_ = 0.0, originLon_ = 0.0;  // the projection's origin at the last repaint
    bool painted_ = false;
    PlanePoint centre_;
    double pixelsPerKm_ = 10.0;
    bool following_ = true;
    bool dragging_ = false;
    QPointF lastMouse_;
};

}  // namespace nimbra
