#include "app/track_view.h"

#include <QDateTime>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

#include "app/chase_overlay.h"
#include "app/desktop_station.h"
#include "app/flight_log.h"
#include "app/tile_fetcher.h"
#include "demod/decoder_parameters.h"

namespace nimbra {

namespace {

const QColor kAscent(0x1f, 0x77, 0xb4);
const QColor kDescent(0xd6, 0x27, 0x28);
const QColor kPrediction(0x94, 0x67, 0xbd);
constexpr double kRingSpacingPixels = 70.0;
constexpr double kScaleBarPixels = 110.0;
constexpr double kFitMarginFactor = 1.25;
constexpr double kDefaultSpanKm = 40.0;  // across the view before the first fix
constexpr double kWheelStep = 1.25;      // zoom per wheel notch

bool descending(const FlightFix& f)
{
    if (f.phase == FlightPhase::Descent || f.phase == FlightPhase::Landed)
        return true;
    if (f.phase == FlightPhase::Ascent || f.phase == FlightPhase::Burst)
        return false;
    return f.record.ascent < 0.0f;
}

}  // namespace

TrackView::TrackView(const FlightLog& log, const DecoderParameters& params, QWidget* parent)
    : QWidget(parent), log_(log), params_(params), network_(new TileFetcher(this))
{
    tiles_.setNetwork(network_);
    connect(network_, &TileFetcher::tileArrived, this, qOverload<>(&QWidget::update));
    setToolTip(tr("The ground around your station, north up, in kilometres. Blue: ascent, red: "
                  "descent, purple: predicted path and landing. Drag to move, wheel to zoom, "
                  "double-click to follow the flight again"));
    setMouseTracking(false);
    connect(&log, &FlightLog::fixAdded, this, qOverload<>(&QWidget::update));
    connect(&log, &FlightLog::followChanged, this, [this] {
        following_ = true;  // another sonde: fit it
        update();
    });
    connect(&log, &FlightLog::cleared, this, [this] {
        following_ = true;
        update();
    });
}

void TrackView::setTileFolder(const QString& folder)
{
    tiles_.setFolder(folder);
    update();
}

void TrackView::setTileNetwork(const TileNetworkSettings& settings)
{
    network_->configure(settings);
    update();
}

void TrackView::setStation(const DesktopStation* station)
{
    if (station_)
        disconnect(station_, nullptr, this, nullptr);
    station_ = station;
    if (station_)
        connect(station_, &DesktopStation::positionChanged, this, qOverload<>(&QWidget::update));
    update();
}

LocalProjection TrackView::projection() const
{
    if (station_) {
        const formats::Station at = station_->position();
        return LocalProjection(at.latitude, at.longitude);
    }
    return LocalProjection(params_.userLat.load(), params_.userLon.load());
}

double TrackView::niceLength(double km)
{
    if (!(km > 0.0))
        return 1.0;
    const double power = std::pow(10.0, std::floor(std::log10(km)));
    const double mantissa = km / power;
    const double nice = mantissa < 1.5 ? 1.0 : mantissa < 3.5 ? 2.0 : mantissa < 7.5 ? 5.0 : 10.0;
    return nice * power;
}

QPointF TrackView::toScreen(const PlanePoint& p) const
{
    return {width() / 2.0 + (p.east - centre_.east) * pixelsPerKm_,
            height() / 2.0 - (p.north - centre_.north) * pixelsPerKm_};
}

PlanePoint TrackView::toPlane(const QPointF& s) const
{
    return {centre_.east + (s.x() - width() / 2.0) / pixelsPerKm_,
            centre_.north - (s.y() - height() / 2.0) / pixelsPerKm_};
}

void TrackView::fitFlight()
{
    following_ = true;
    update();
}

void TrackView::fit()
{
    double west = -kDefaultSpanKm / 2, east = kDefaultSpanKm / 2;
    double south = -kDefaultSpanKm / 2, north = kDefaultSpanKm / 2;
    if (!log_.empty()) {
        const LocalProjection proj = projection();
        west = east = south = north = 0.0;  // the station stays in view
        auto include = [&](double lat, double lon) {
            const PlanePoint q = proj.toPlane(lat, lon);
            west = std::min(west, q.east);
            east = std::max(east, q.east);
            south = std::min(south, q.north);
            north = std::max(north, q.north);
        };
        const FlightFix& latest = log_.latest();
        for (const FlightFix& f : log_.fixes())
            if (f.record.transmitterId == latest.record.transmitterId)
                include(f.record.latitude, f.record.longitude);
        if (latest.prediction.valid)
            include(latest.prediction.landing.latitude, latest.prediction.landing.longitude);
        // Never closer than a kilometre across.
        const double span = std::max({east - west, north - south, 1.0});
        const double cx = (west + east) / 2, cy = (south + north) / 2;
        west = cx - span / 2;
        east = cx + span / 2;
        south = cy - span / 2;
        north = cy + span / 2;
    }
    centre_ = {(west + east) / 2, (south + north) / 2};
    const double w = std::max(1, width()), h = std::max(1, height());
    pixelsPerKm_ = std::clamp(std::min(w / (east - west), h / (north - south)) / kFitMarginFactor,
                              kMinPixelsPerKm, kMaxPixelsPerKm);
}

void TrackView::zoomBy(double factor, const QPointF& about)
{
    following_ = false;
    const PlanePoint fixed = toPlane(about);
    pixelsPerKm_ = std::clamp(pixelsPerKm_ * factor, kMinPixelsPerKm, kMaxPixelsPerKm);
    // Keep the point under the pointer where it was.
    const PlanePoint moved = toPlane(about);
    centre_.east += fixed.east - moved.east;
    centre_.north += fixed.north - moved.north;
    update();
}

void TrackView::panBy(const QPointF& pixels)
{
    following_ = false;
    centre_.east -= pixels.x() / pixelsPerKm_;
    centre_.north += pixels.y() / pixelsPerKm_;
    update();
}

void TrackView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        dragging_ = true;
        lastMouse_ = event->position();
        setCursor(Qt::ClosedHandCursor);
    }
}

void TrackView::mouseMoveEvent(QMouseEvent* event)
{
    if (!dragging_)
        return;
    panBy(event->position() - lastMouse_);
    lastMouse_ = event->position();
}

void TrackView::mouseReleaseEvent(QMouseEvent* /*event*/)
{
    dragging_ = false;
    unsetCursor();
}

void TrackView::mouseDoubleClickEvent(QMouseEvent* /*event*/)
{
    fitFlight();
}

void TrackView::wheelEvent(QWheelEvent* event)
{
    const double notches = event->angleDelta().y() / 120.0;
    if (notches != 0.0)
        zoomBy(std::pow(kWheelStep, notches), event->position());
    event->accept();
}

void TrackView::drawRings(QPainter& p, bool stationMarker)
{
    const double spacing = niceLength(kRingSpacingPixels / pixelsPerKm_);
    const QPointF station = toScreen({0.0, 0.0});
    // Out to the farthest corner of the view.
    double farthest = 0.0;
    for (const QPointF& c : {QPointF(0, 0), QPointF(width(), 0), QPointF(0, height()), QPointF(width(), height())})
        farthest = std::max(farthest, std::hypot(c.x() - station.x(), c.y() - station.y()));
    const int rings = std::min(60, static_cast<int>(farthest / (spacing * pixelsPerKm_)) + 1);
    p.setPen(QPen(QColor(128, 128, 128, 150), 1, Qt::DashLine));
    p.setBrush(Qt::NoBrush);
    for (int i = 1; i <= rings; ++i) {
        const double r = i * spacing * pixelsPerKm_;
        p.drawEllipse(station, r, r);
        p.drawText(station + QPointF(r * 0.7071 + 3, -r * 0.7071 - 3),
                   QStringLiteral("%1 km").arg(i * spacing, 0, 'g', 6));
    }
    if (!stationMarker)
        return;  // the car, drawn with the chase
    // The station.
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(QColor(0x2c, 0xa0, 0x2c));
    const QPointF tri[] = {station + QPointF(0, -7), station + QPointF(6, 5), station + QPointF(-6, 5)};
    p.drawPolygon(tri, 3);
    p.setPen(palette().text().color());
    p.drawText(station + QPointF(8, 14), tr("Station"));
}

void TrackView::drawTrack(QPainter& p, const LocalProjection& proj)
{
    if (log_.empty())
        return;
    const FlightFix& latest = log_.latest();
    const FlightFix* previous = nullptr;
    QPointF from;
    for (const FlightFix& f : log_.fixes()) {
        if (f.record.transmitterId != latest.record.transmitterId)
            continue;
        const QPointF to = toScreen(proj.toPlane(f.record.latitude, f.record.longitude));
        if (previous) {
            p.setPen(QPen(descending(f) ? kDescent : kAscent, 2, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(from, to);
        }
        previous = &f;
        from = to;
    }
    if (latest.prediction.valid) {
        QPainterPath path(from);
        for (const PredictedPoint& q : latest.prediction.path)
            path.lineTo(toScreen(proj.toPlane(q.latitude, q.longitude)));
        const QPointF landing = toScreen(proj.toPlane(latest.prediction.landing.latitude, latest.prediction.landing.longitude));
        path.lineTo(landing);
        p.setPen(QPen(kPrediction, 2, Qt::DashLine));
        p.setBrush(Qt::NoBrush);
        p.drawPath(path);
        p.setPen(QPen(kPrediction, 3));
        p.drawLine(landing + QPointF(-6, -6), landing + QPointF(6, 6));
        p.drawLine(landing + QPointF(-6, 6), landing + QPointF(6, -6));
        const QDateTime when = QDateTime::fromMSecsSinceEpoch(latest.prediction.landing.timeMs, Qt::UTC);
        const QString label = tr("Landing %1 UTC").arg(when.toString(QStringLiteral("hh:mm")));
        // Right of the cross, or left of it where the right edge would cut the label.
        const double labelWidth = p.fontMetrics().horizontalAdvance(label);
        const double x = landing.x() + 9.0 + labelWidth > width() ? -9.0 - labelWidth : 9.0;
        p.drawText(landing + QPointF(x, 4), label);
    }
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(descending(latest) ? kDescent : kAscent);
    p.drawEllipse(from, 5, 5);
    p.setPen(palette().text().color());
    p.drawText(from + QPointF(8, -6), tr("%1 m").arg(double(latest.record.altitude), 0, 'f', 0));
}

void TrackView::drawScaleAndNorth(QPainter& p)
{
    const double km = niceLength(kScaleBarPixels / pixelsPerKm_);
    const double length = km * pixelsPerKm_;
    const QPointF left(12, height() - 14);
    p.setPen(QPen(palette().text().color(), 2));
    p.drawLine(left, left + QPointF(length, 0));
    p.drawLine(left + QPointF(0, -4), left + QPointF(0, 4));
    p.drawLine(left + QPointF(length, -4), left + QPointF(length, 4));
    p.drawText(left + QPointF(length / 2 - 20, -6), QStringLiteral("%1 km").arg(km, 0, 'g', 6));
    // North arrow, top right.
    const QPointF tip(width() - 18, 10);
    p.setBrush(palette().text());
    const QPointF arrow[] = {tip, tip + QPointF(6, 14), tip + QPointF(-6, 14)};
    p.drawPolygon(arrow, 3);
    p.drawText(QRectF(tip.x() - 10, tip.y() + 15, 20, 16), Qt::AlignCenter, QStringLiteral("N"));
    // Legend.
    p.setPen(QPen(kAscent, 3));
    p.drawLine(QPointF(10, 14), QPointF(30, 14));
    p.setPen(QPen(kDescent, 3));
    p.drawLine(QPointF(10, 30), QPointF(30, 30));
    p.setPen(palette().text().color());
    p.drawText(QPointF(36, 18), tr("ascent"));
    p.drawText(QPointF(36, 34), tr("descent"));
}

void TrackView::drawChaseAndAttribution(QPainter& p, const LocalProjection& proj)
{
    ChaseScene scene;
    scene.station = {proj.latitudeOf({0.0, 0.0}), proj.longitudeOf({0.0, 0.0})};
    scene.moving = station_ && station_->moving();
    if (scene.moving)
        scene.trail = station_->trail();
    if (!log_.empty()) {
        const FlightFix& latest = log_.latest();
        scene.sonde = GeoPoint{latest.record.latitude, latest.record.longitude};
        if (latest.prediction.valid)
            scene.landing = GeoPoint{latest.prediction.landing.latitude, latest.prediction.landing.longitude};
    }
    drawChase(p, scene, [&](const GeoPoint& g) { return toScreen(proj.toPlane(g.latitude, g.longitude)); }, rect(),
              palette());
    if (tiles_.networkEnabled() && !network_->settings().attribution.isEmpty()) {
        const QString text = network_->settings().attribution;
        const QFontMetrics m = p.fontMetrics();
        const QRectF box(width() - m.horizontalAdvance(text) - 10, height() - m.height() - 4,
                         m.horizontalAdvance(text) + 8, m.height() + 2);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 255, 255, 190));
        p.drawRect(box);
        p.setPen(QColor(0x33, 0x33, 0x33));
        p.drawText(box, Qt::AlignCenter, text);
    }
}

void TrackView::paintEvent(QPaintEvent* /*event*/)
{
    const LocalProjection proj = projection();
    const double originLat = proj.latitudeOf({0.0, 0.0}), originLon = proj.longitudeOf({0.0, 0.0});
    if (painted_ && !following_ && (originLat != originLat_ || originLon != originLon_)) {
        // The car moved the plan's origin: the part of the ground in view stays in view.
        const LocalProjection before(originLat_, originLon_);
        centre_ = proj.toPlane(before.latitudeOf(centre_), before.longitudeOf(centre_));
    }
    originLat_ = originLat;
    originLon_ = originLon;
    painted_ = true;
    if (following_)
        fit();
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(rect(), palette().base());
    const PlanePoint topLeft = toPlane(QPointF(0, 0));
    const PlanePoint bottomRight = toPlane(QPointF(width(), height()));
    tiles_.draw(p, proj, [this](const PlanePoint& q) { return toScreen(q); }, topLeft.east,
                bottomRight.east, bottomRight.north, topLeft.north, pixelsPerKm_);
    drawRings(p, !(station_ && station_->moving()));
    drawTrack(p, proj);
    drawChaseAndAttribution(p, proj);
    drawScaleAndNorth(p);
}

}  // namespace nimbra
