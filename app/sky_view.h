// SkyView: where to point a directional antenna. A polar plot of the sky as seen from the
// station, north up and east to the right: the horizon at the rim, the zenith at the centre,
// rings every 30 degrees of elevation. Shows the sonde's track (its azimuth and elevation at
// every fix of the current transmitter) and its current position with the figures to set.
//
// In:  the flight log (the trusted fixes of the session).
// Out: the drawing; nothing else.
#pragma once

#include <QPointF>
#include <QWidget>

namespace nimbra {

class FlightLog;

class SkyView : public QWidget {
    Q_OBJECT

public:
    explicit SkyView(const FlightLog& log, QWidget* parent = nullptr);

    QSize sizeHint() const override { return {320, 320}; }
    QSize minimumSizeHint() const override { return {160, 160}; }

    // Where a direction lands in the widget (for tests): elevations below the horizon on the rim.
    QPointF pointFor(double azimuthDeg, double elevationDeg) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const FlightLog& log_;
};

}  // namespace nimbra
