// StationSettings: where the desktop program's station is and what it points, beside the typed-in
// position of the decoder parameters: the position from a GPS through gpsd (group "Station") and
// a rotator through rotctld (group "Rotator"). Edited in Config; the rotator's on/off switch is
// also the Station menu's "Rotator" action.
//
// A stored value out of range or of the wrong kind reads as its default, and the next save
// writes a good one: a damaged settings file never stops the program.
#pragma once

#include <QString>

#include "station/gpsd_client.h"
#include "station/rotator_policy.h"
#include "station/rotctld_client.h"

namespace nimbra {

struct StationSettings {
    bool positionFromGps = false;
    QString gpsdHost = QStringLiteral("localhost");
    int gpsdPort = 2947;

    bool rotatorOn = false;
    QString rotatorHost = QStringLiteral("localhost");
    int rotatorPort = 4533;
    double thresholdDeg = 5.0;
    double intervalS = 5.0;
    bool azimuthOnly = false;
    bool homeOn = false;
    double homeAzimuth = 0.0, homeElevation = 0.0;
    double homeAfterMinutes = 10.0;

    static StationSettings load();
    void save() const;

    station::GpsdAddress gpsdAddress() const;
    station::RotctldAddress rotctldAddress() const;
    station::RotatorSettings rotatorSettings() const;
    // Empty when a host text may be used; otherwise what is wrong with it.
    static QString checkHost(const QString& host);
};

}  // namespace nimbra
