#include "app/chase_overlay.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

#include "station/station_fix.h"

namespace nimbra {

namespace {

const QColor kCar(0x00, 0x7a, 0x87);
const QColor kToSonde(0x30, 0x30, 0x30);
const QColor kToLanding(0x94, 0x67, 0xbd);
constexpr double kBoxTop = 44.0;  // below the legend

QString tr(const char* text)
{
    return QCoreApplication::translate("TrackView", text);
}

void line(QPainter& p, const QPointF& from, const QPointF& to, const QColor& colour, const QString& label)
{
    p.setPen(QPen(colour, 1.5, Qt::DashDotLine));
    p.drawLine(from, to);
    const QPointF mid = (from + to) / 2.0;
    const QFontMetrics m = p.fontMetrics();
    const QRectF box(mid.x() + 6, mid.y() - m.height() - 2, m.horizontalAdvance(label) + 8, m.height() + 4);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 200));
    p.drawRoundedRect(box, 3, 3);
    p.setPen(colour);
    p.drawText(box, Qt::AlignCenter, label);
}

}  // namespace

QString bearingDistance(const GeoPoint& from, const GeoPoint& to)
{
    const double m = station::distanceM(from.latitude, from.longitude, to.latitude, to.longitude);
    const double b = station::bearingDeg(from.latitude, from.longitude, to.latitude, to.longitude);
    const QString distance = m < 1000.0    ? QStringLiteral("%1 m").arg(std::lround(m))
                             : m < 100000.0 ? QStringLiteral("%1 km").arg(m / 1000.0, 0, 'f', 1)
                                            : QStringLiteral("%1 km").arg(std::lround(m / 1000.0));
    return QStringLiteral("%1° %2").arg(std::lround(b) % 360, 3, 10, QLatin1Char('0')).arg(distance);
}

void drawChase(QPainter& p, const ChaseScene& s, const std::function<QPointF(const GeoPoint&)>& toScreen,
               const QRect& area, const QPalette& palette)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    if (s.moving) {
        if (s.trail.size() > 1) {
            QPainterPath path(toScreen({s.trail.first().latitude, s.trail.first().longitude}));
            for (const TrailPoint& t : s.trail)
                path.lineTo(toScreen({t.latitude, t.longitude}));
            p.setPen(QPen(QColor(kCar.red(), kCar.green(), kCar.blue(), 160), 3, Qt::SolidLine, Qt::RoundCap,
                          Qt::RoundJoin));
            p.setBrush(Qt::NoBrush);
            p.drawPath(path);
        }
        const QPointF car = toScreen(s.station);
        if (s.sonde)
            line(p, car, toScreen(*s.sonde), kToSonde, bearingDistance(s.station, *s.sonde));
        if (s.landing)
            line(p, car, toScreen(*s.landing), kToLanding, bearingDistance(s.station, *s.landing));
        p.setPen(QPen(Qt::white, 2));
        p.setBrush(kCar);
        p.drawEllipse(car, 7, 7);
        p.setPen(palette.text().color());
        p.drawText(car + QPointF(10, -8), tr("Car"));
    }
    // The way to go, at a glance.
    QStringList rows;
    const QString from = s.moving ? tr("Car") : tr("Station");
    if (s.sonde)
        rows << tr("%1 to sonde: %2").arg(from, bearingDistance(s.station, *s.sonde));
    if (s.landing)
        rows << tr("%1 to landing: %2").arg(from, bearingDistance(s.station, *s.landing));
    if (!rows.isEmpty()) {
        const QFontMetrics m = p.fontMetrics();
        int width = 0;
        for (const QString& r : rows)
            width = std::max(width, m.horizontalAdvance(r));
        const QRectF box(8, kBoxTop, width + 12, rows.size() * m.height() + 8);
        if (box.bottom() < area.bottom()) {
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(255, 255, 255, 215));
            p.drawRoundedRect(box, 4, 4);
            p.setPen(QColor(0x20, 0x20, 0x20));
            for (int i = 0; i < rows.size(); ++i)
                p.drawText(QPointF(box.left() + 6, box.top() + 4 + m.ascent() + i * m.height()), rows[i]);
        }
    }
    p.restore();
}

}  // namespace nimbra
