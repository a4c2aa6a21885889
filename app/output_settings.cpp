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

namespace {

// The keys of group "Outputs" and the fields they hold.
struct FlagKey {
    const char* key;
    bool OutputSettings::*field;
};
struct TextKey {
    const char* key;
    QString OutputSettings::*field;
};

const FlagKey kFlags[] = {
    {"udpEnabled", &OutputSettings::udpEnabled},         {"sondehubEnabled", &OutputSettings::sondehubEnabled},
    {"shareStation", &OutputSettings::shareStation},     {"mqttEnabled", &OutputSettings::mqttEnabled},
    {"liveKmlEnabled", &OutputSettings::liveKmlEnabled}, {"sondehubChase", &OutputSettings::sondehubChase},
};
const TextKey kTexts[] = {
    {"udpAddress", &OutputSettings::udpAddress},         {"sondehubCallsign", &OutputSettings::sondehubCallsign},
    {"sondehubUrl", &OutputSettings::sondehubUrl},       {"sondehubSpool", &OutputSettings::sondehubSpool},
    {"mqttUrl", &OutputSettings::mqttUrl},               {"liveKmlPath", &OutputSettings::liveKmlPath},
    {"stationName", &OutputSettings::stationName},       {"sondeManufacturer", &OutputSettings::manufacturer},
    {"sondeType", &OutputSettings::sondeType},           {"sondeSerial", &OutputSettings::serialTemplate},
};
const char* const kInterval = "sondehubInterval";

}  // namespace

OutputSettings OutputSettings::load()
{
    QSettings s(QString::fromLatin1(kOrganization), QString::fromLatin1(kApplication));
    s.beginGroup(QStringLiteral("Outputs"));
    OutputSettings o;
    for (const FlagKey& f : kFlags)
        o.*f.field = s.value(f.key, o.*f.field).toBool();
    for (const TextKey& t : kTexts)
        o.*t.field = s.value(t.key, o.*t.field).toString();
    // A damaged or hand-edited interval keeps the default.
    bool ok = false;
    const double interval = s.value(kInterval, o.sondehubIntervalS).toDouble(&ok);
    if (ok && interval >= 1.0 && interval <= 3600.0)
        o.sondehubIntervalS = interval;
    return o;
}

void OutputSettings::save() const
{
    QSettings s(QString::fromLatin1(kOrganization), QString::fromLatin1(kApplication));
    s.beginGroup(QStringLiteral("Outputs"));
    for (const FlagKey& f : kFlags)
        s.setValue(f.key, this->*f.field);
    for (const TextKey& t : kTexts)
        s.setValue(t.key, this->*t.field);
    s.setValue(kInterval, sondehubIntervalS);
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
