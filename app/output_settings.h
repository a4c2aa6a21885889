// OutputSettings: the desktop program's settings of the network outputs, kept in the settings
// store's group "Outputs", each output with its on/off switch; and the checks of their text.
//
// In:  the settings store; text from the Outputs dialog; the station of the decoder parameters.
// Out: the settings, stored back; the OutputConfig of the outputs that are on.
#pragma once

#include <QString>

#include "outputs/output_config.h"

namespace nimbra {

struct DecoderParameters;

struct OutputSettings {
    bool udpEnabled = false;
    QString udpAddress = QStringLiteral("127.0.0.1:55673");

    bool sondehubEnabled = false;
    QString sondehubCallsign;
    QString sondehubUrl = QString::fromLatin1(outputs::kDefaultTelemetryUrl);
    QString sondehubSpool;            // empty: the program's default folder
    double sondehubIntervalS = 15.0;
    bool shareStation = false;        // send the station position of Config to the network
    bool sondehubChase = false;       // the chase car as a mobile station (position from GPS)

    bool mqttEnabled = false;
    QString mqttUrl = QStringLiteral("mqtt://127.0.0.1/nimbra");

    bool liveKmlEnabled = false;
    QString liveKmlPath;              // empty: nimbra-live.kml in the user's documents

    QString stationName;              // empty: the host name
    QString manufacturer = QString::fromLatin1(outputs::kDefaultManufacturer);
    QString sondeType = QString::fromLatin1(outputs::kDefaultSondeType);
    QString serialTemplate = QString::fromLatin1(outputs::kDefaultSerialTemplate);

    static OutputSettings load();
    void save() const;

    bool anyEnabled() const { return udpEnabled || sondehubEnabled || mqttEnabled || liveKmlEnabled; }
    // The outputs that are on, with the station of `params`. False with `error` naming the first
    // field whose text is not valid.
    bool toConfig(const DecoderParameters& params, outputs::OutputConfig& config, QString& error) const;

    QString effectiveLiveKmlPath() const;
    QString effectiveStationName() const;
};

// Empty when the text is valid; otherwise what is wrong, in one line.
QString checkUdpAddress(const QString& text);
QString checkMqttUrl(const QString& text);
QString checkHttpUrl(const QString& text);
QString checkCallsign(const QString& text);
QString checkName(const QString& text);           // manufacturer, type
QString checkSerialTemplate(const QString& text);
QString checkStationName(const QString& text);    // empty allowed: the host name
QString checkFileName(const QString& text);       // empty allowed: the default file

}  // namespace nimbra
