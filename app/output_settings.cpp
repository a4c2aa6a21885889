#include "app/output_settings.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include "app/settings.h"
#include "demod/decoder_parameters.h"
#include "outputs/addresses.h"
#include "outputs/sonde_identity.h"

namespace nimbra {

namespace {

QString fromStd(const std::string& s) { return QString::fromStdString(s); }

template <typename Check>
QString checked(const QString& text, Check check)
{
    std::string error;
    return check(text.toStdString(), error) ? QString() : fromStd(error);
}

}  // namespace

QString checkUdpAddress(const QString& text)
{
    outputs::HostPort unused;
    return checked(text, [&](const std::string& t, std::string& e) { return outputs::parseHostPort(t, unused, e); });
}

QString checkMqttUrl(const QString& text)
{
    outputs::MqttAddress unused;
    return checked(text, [&](const std::string& t, std::string& e) { return outputs::parseMqttUrl(t, unused, e); });
}

QString checkHttpUrl(const QString& text) { return checked(text, outputs::checkHttpUrl); }

QString checkCallsign(const QString& text)
{
    return checked(text, [](const std::string& t, std::string& e) { return outputs::checkIdentityText(t, false, e); });
}

QString checkName(const QString& text) { return checkCallsign(text); }

QString checkSerialTemplate(const QString& text)
{
    return checked(text, [](const std::string& t, std::string& e) { return outputs::checkIdentityText(t, true, e); });
}

QString checkStationName(const QString& text)
{
    return text.isEmpty() ? QString() : checked(text, outputs::checkTopicLevel);
}

QString checkFileName(const QString& text)
{
    if (text.isEmpty())
        return QString();
    const QFileInfo info(text);
    if (info.isDir())
        return QStringLiteral("is a folder; name the file to write");
    if (!info.absoluteDir().exists())
        return QStringLiteral("the folder %1 does not exist").arg(info.absolutePath());
    return QString();
}

OutputSettings OutputSettings::load()
{
    QSettings s(QString::fromLatin1(kOrganization), QString::fromLatin1(kApplication));
    s.beginGroup(QStringLiteral("Outputs"));
    OutputSettings o;
    o.udpEnabled = s.value("udpEnabled", o.udpEnabled).toBool();
    o.udpAddress = s.value("udpAddress", o.udpAddress).toString();
    o.sondehubEnabled = s.value("sondehubEnabled", o.sondehubEnabled).toBool();
    o.sondehubCallsign = s.value("sondehubCallsign", o.sondehubCallsign).toString();
    o.sondehubUrl = s.value("sondehubUrl", o.sondehubUrl).toString();
    o.sondehubSpool = s.value("sondehubSpool", o.sondehubSpool).toString();
    bool ok = false;
    const double interval = s.value("sondehubInterval", o.sondehubIntervalS).toDouble(&ok);
    if (ok && interval >= 1.0 && interval <= 3600.0)
        o.sondehubIntervalS = interval;
    o.shareStation = s.value("shareStation", o.shareStation).toBool();
    o.mqttEnabled = s.value("mqttEnabled", o.mqttEnabled).toBool();
    o.mqttUrl = s.value("mqttUrl", o.mqttUrl).toString();
    o.liveKmlEnabled = s.value("liveKmlEnabled", o.liveKmlEnabled).toBool();
    o.liveKmlPath = s.value("liveKmlPath", o.liveKmlPath).toString();
    o.stationName = s.value("stationName", o.stationName).toString();
    o.manufacturer = s.value("sondeManufacturer", o.manufacturer).toString();
    o.sondeType = s.value("sondeType", o.sondeType).toString();
    o.serialTemplate = s.value("sondeSerial", o.serialTemplate).toString();
    return o;
}

void OutputSettings::save() const
{
    QSettings s(QString::fromLatin1(kOrganization), QString::fromLatin1(kApplication));
    s.beginGroup(QStringLiteral("Outputs"));
    s.setValue("udpEnabled", udpEnabled);
    s.setValue("udpAddress", udpAddress);
    s.setValue("sondehubEnabled", sondehubEnabled);
    s.setValue("sondehubCallsign", sondehubCallsign);
    s.setValue("sondehubUrl", sondehubUrl);
    s.setValue("sondehubSpool", sondehubSpool);
    s.setValue("sondehubInterval", sondehubIntervalS);
    s.setValue("shareStation", shareStation);
    s.setValue("mqttEnabled", mqttEnabled);
    s.setValue("mqttUrl", mqttUrl);
    s.setValue("liveKmlEnabled", liveKmlEnabled);
    s.setValue("liveKmlPath", liveKmlPath);
    s.setValue("stationName", stationName);
    s.setValue("sondeManufacturer", manufacturer);
    s.setValue("sondeType", sondeType);
    s.setValue("sondeSerial", serialTemplate);
}

QString OutputSettings::effectiveLiveKmlPath() const
{
    if (!liveKmlPath.isEmpty())
        return liveKmlPath;
    return QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation))
        .filePath(QStringLiteral("nimbra-live.kml"));
}

QString OutputSettings::effectiveStationName() const
{
    return stationName.isEmpty() ? fromStd(outputs::defaultStationName()) : stationName;
}

bool OutputSettings::toConfig(const DecoderParameters& params, outputs::OutputConfig& c, QString& error) const
{
    auto fail = [&](const QString& field, const QString& why) {
        error = field + QStringLiteral(": ") + why;
        return false;
    };
    c = outputs::OutputConfig{};
    QString why;
    if (!(why = checkName(manufacturer)).isEmpty())
        return fail(QStringLiteral("Manufacturer"), why);
    if (!(why = checkName(sondeType)).isEmpty())
        return fail(QStringLiteral("Sonde type"), why);
    if (!(why = checkSerialTemplate(serialTemplate)).isEmpty())
        return fail(QStringLiteral("Serial"), why);
    if (!(why = checkStationName(stationName)).isEmpty())
        return fail(QStringLiteral("Station name"), why);
    c.identity.manufacturer = manufacturer.toStdString();
    c.identity.type = sondeType.toStdString();
    c.identity.serialTemplate = serialTemplate.toStdString();
    c.stationName = effectiveStationName().toStdString();
    c.station = formats::Station{params.userLat.load(), params.userLon.load(), params.userAlt.load()};
    c.stationGiven = shareStation;
    std::string e;
    if (udpEnabled) {
        outputs::HostPort target;
        if (!outputs::parseHostPort(udpAddress.toStdString(), target, e))
            return fail(QStringLiteral("Chase map"), fromStd(e));
        c.udp = target;
    }
    if (mqttEnabled) {
        outputs::MqttAddress address;
        if (!outputs::parseMqttUrl(mqttUrl.toStdString(), address, e))
            return fail(QStringLiteral("MQTT"), fromStd(e));
        c.mqtt = address;
    }
    if (sondehubEnabled) {
        if (!(why = checkCallsign(sondehubCallsign)).isEmpty())
            return fail(QStringLiteral("Callsign"), why);
        if (!(why = checkHttpUrl(sondehubUrl)).isEmpty())
            return fail(QStringLiteral("SondeHub URL"), why);
        c.sondehubCallsign = sondehubCallsign.toStdString();
        c.sondehubUrl = sondehubUrl.toStdString();
        c.spoolFolder = sondehubSpool.toStdString();
        c.sondehubIntervalS = sondehubIntervalS;
    }
    if (liveKmlEnabled) {
        if (!(why = checkFileName(liveKmlPath)).isEmpty())
            return fail(QStringLiteral("Live KML"), why);
        c.liveKmlPath = effectiveLiveKmlPath().toStdString();
    }
    return true;
}

}  // namespace nimbra
