#include "app/sky_view.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

#include "app/flight_log.h"

namespace nimbra {

namespace {

constexpr double kRadians = 3.14159265358979323846 / 180.0;
constexpr int kMargin = 22;  // room for the compass letters

}  // namespace

SkyView::SkyView(const FlightLog& log, QWidget* parent) : QWidget(parent), log_(log)
{
    setToolTip(tr("The sky from your station: north up, the horizon at the rim, the zenith in the "
                  "middle. The line is the sonde's track, the dot where it is now"));
    connect(&log, &FlightLog::fixAdded, this, qOverload<>(&QWidget::update));
    connect(&log, &FlightLog::cleared, this, qOverload<>(&QWidget::update));
    connect(&log, &FlightLog::followChanged, this, qOverload<>(&QWidget::update));
}

QPointF SkyView::pointFor(double azimuthDeg, double elevationDeg) const
{
    const double radius = std::max(1, std::min(width(), height()) / 2 - kMargin);
    const double r = radius * (90.0 - std::clamp(elevationDeg, 0.0, 90.0)) / 90.0;
    const QPointF centre(width() / 2.0, height() / 2.0);
    return centre + QPointF(r * std::sin(azimuthDeg * kRadians), -r * std::cos(azimuthDeg * kRadians));
}

void SkyView::paintEvent(QPaintEvent* /*event*/)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(rect(), palette().base());
    const QPointF centre(width() / 2.0, height() / 2.0);
    const double radius = std::max(1, std::min(width(), height()) / 2 - kMargin);

    // Elevation rings and azimuth spokes.
    p.setPen(QPen(palette().mid().color(), 1));
    for (int elevation = 0; elevation < 90; elevation += 30) {
        const double r = radius * (90 - elevation) / 90.0;
        p.drawEllipse(centre, r, r);
        p.drawText(centre + QPointF(3, -r + 12), QStringLiteral("%1°").arg(elevation));
    }
    for (int azimuth = 0; azimuth < 360; azimuth += 30)
        p.drawLine(centre, pointFor(azimuth, 0.0));
    p.setPen(palette().text().color());
    const char* const compass[] = {"N", "E", "S", "W"};
    for (int i = 0; i < 4; ++i) {
        const QPointF at = centre + QPointF((radius + 11) * std::sin(i * 90 * kRadians),
                                           -(radius + 11) * std::cos(i * 90 * kRadians));
        p.drawText(QRectF(at.x() - 10, at.y() - 10, 20, 20), Qt::AlignCenter, QLatin1String(compass[i]));
    }

    if (log_.empty())
        return;
    const FlightFix& now = log_.latest();
    QPainterPath track;
    bool first = true;
    for (const FlightFix& f : log_.fixes()) {
        if (f.record.transmitterId != now.record.transmitterId)
            continue;
        const QPointF at = pointFor(f.record.azimuth, f.record.elevation);
        if (first)
            track.moveTo(at);
        else
            track.lineTo(at);
        first = false;
    }
    p.setPen(QPen(QColor(0x1f, 0x77, 0xb4), 2));
    p.setBrush(Qt::NoBrush);
    p.drawPath(track);

    const QPointF at = pointFor(now.record.azimuth, now.record.elevation);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(QColor(0xd6, 0x27, 0x28));
    p.drawEllipse(at, 5, 5);
    p.setPen(palette().text().color());
    p.drawText(QRectF(4, height() - 20, width() - 8, 18), Qt::AlignLeft | Qt::AlignVCenter,
               tr("Az %1°  El %2°  %3 km")
                   .arg(double(now.record.azimuth), 0, 'f', 1)
                   .arg(double(now.record.elevation), 0, 'f', 1)
                   .arg(double(now.record.range), 0, 'f', 1));
}

}  // namespace nimbra
