// LabelTexts: the texts of the main window's telemetry labels and packet counter, made from one
// snapshot of the shared telemetry record.
#pragma once

#include <QString>

namespace nimbra {

struct TelemetryState;

struct LabelTexts {
    QString id;
    QString latitude;
    QString longitude;
    QString altitude;
    QString azimuth;
    QString elevation;
    QString range;
    QString ascent;
    QString velocity;
    QString direction;
    QString goodBad;
};

LabelTexts makeLabelTexts(const TelemetryState& telemetry);
// Share of good blocks in whole percent, truncated; 0 before the first good block.
int percentGood(int good, int bad);

}  // namespace nimbra
