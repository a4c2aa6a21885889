// The chase's real counterparts for the desktop program's tests: gpsd through gpsfake replaying
// an NMEA log of a car, and Hamlib's rotctld with its dummy rotator, both on 127.0.0.1 and each
// in a process group of its own that stop() ends whole.
#pragma once

#include <QList>
#include <QString>

#include <optional>

struct CarEpoch {
    double latitude = 0.0, longitude = 0.0, altitude = 0.0;
    double speedMps = 0.0, courseDeg = 0.0;
    bool fix = true;
};

// GGA and RMC sentences, an epoch a second; false when the file cannot be written.
bool writeNmeaLog(const QString& path, const QList<CarEpoch>& epochs);
quint16 freeTcpPort();

class CounterpartProcess {
public:
    ~CounterpartProcess() { stop(); }
    // gpsfake -c 0.2 on `port`, looping over the log, for at most `limitS`.
    bool startGpsfake(const QString& log, quint16 port, int limitS = 300);
    // rotctld -m 1 on `port`; true once it accepts connections.
    bool startRotctld(quint16 port);
    void stop();

private:
    qint64 pid_ = 0;
};

// Where rotctld's rotator points now ("p"), or none.
std::optional<std::pair<double, double>> rotatorPosition(quint16 port);
