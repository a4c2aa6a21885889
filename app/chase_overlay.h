// ChaseOverlay: what the track view draws of the chase: the car (the station's position from its
// GPS) with its recent trail, and a line to the sonde and one to the predicted landing, each with
// the bearing and the distance from the car; those two figures also in a box at the view's top
// left (the way to drive, at a glance). A fixed station gets the box alone.
//
// In:  the scene (where the car, the sonde and the landing are; the trail), a way to put a
//      position on the screen, the view's rectangle and palette.
// Out: the drawing; bearingDistance() for the signal panel's figures.
#pragma once

#include <QPalette>
#include <QPointF>
#include <QRect>
#include <QString>
#include <QVector>

#include <functional>
#include <optional>

#include "app/desktop_station.h"

class QPainter;

namespace nimbra {

struct GeoPoint {
    double latitude = 0.0, longitude = 0.0;
};

struct ChaseScene {
    GeoPoint station;        // the car when `moving`, else the typed-in station
    bool moving = false;
    QVector<TrailPoint> trail;
    std::optional<GeoPoint> sonde, landing;
};

// "123° 4.5 km" (metres below 1 km, whole kilometres from 100 km).
QString bearingDistance(const GeoPoint& from, const GeoPoint& to);

void drawChase(QPainter& painter, const ChaseScene& scene, const std::function<QPointF(const GeoPoint&)>& toScreen,
               const QRect& area, const QPalette& palette);

}  // namespace nimbra
