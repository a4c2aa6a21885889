#include "app/sdr_input_settings.h"

#include <QSettings>

#include <cmath>

#include "app/settings.h"
#include "formats/frequency_text.h"
#include "iq/iq_format.h"

namespace nimbra {

namespace {

constexpr double kMinRate = 48000.0, kMaxRate = 10e6;

double number(const QSettings& s, const char* key, double fallback, double lo, double hi)
{
    bool ok = false;
    const double v = s.value(QLatin1String(key), fallback).toDouble(&ok);
    return ok && std::isfinite(v) && v >= lo && v <= hi ? v : fallback;
}

}  // namespace

SdrInputSettings SdrInputSettings::load()
{
    QSettings s{QLatin1String(kOrganization), QLatin1String(kApplication)};
    s.beginGroup(QStringLiteral("SDR"));
    SdrInputSettings d, r;
    const QString input = s.value(QStringLiteral("input"), QStringLiteral("sound")).toString();
    r.source = input == QLatin1String("soapy")     ? Source::Soapy
               : input == QLatin1String("rtl_tcp") ? Source::RtlTcp
                                                   : Source::SoundCard;
    r.soapyDevice = s.value(QStringLiteral("soapyDevice"), d.soapyDevice).toString().trimmed();
    r.rtlTcpAddress = s.value(QStringLiteral("rtlTcp"), d.rtlTcpAddress).toString().trimmed();
    r.frequencyHz = number(s, "frequency", d.frequencyHz, 1e6, 7e9);
    r.rate = number(s, "rate", d.rate, kMinRate, kMaxRate);
    const QString gain = s.value(QStringLiteral("gain"), QStringLiteral("auto")).toString();
    bool ok = false;
    const double g = gain.toDouble(&ok);
    r.gainAuto = !(ok && std::isfinite(g) && g >= 0.0 && g <= 100.0);
    r.gainDb = r.gainAuto ? d.gainDb : g;
    r.ppm = static_cast<int>(number(s, "ppm", 0, -200, 200));
    r.biasTee = s.value(QStringLiteral("biasTee"), false).toBool();
    const QString format = s.value(QStringLiteral("iqFormat"), d.iqFormat).toString();
    r.iqFormat = iq::parseIqFormat(format.toStdString()) ? format : d.iqFormat;
    r.iqRate = number(s, "iqRate", d.iqRate, kMinRate, kMaxRate);
    r.iqFrequencyHz = number(s, "iqFrequency", d.iqFrequencyHz, 0.0, 7e9);
    return r;
}

void SdrInputSettings::save() const
{
    QSettings s{QLatin1String(kOrganization), QLatin1String(kApplication)};
    s.beginGroup(QStringLiteral("SDR"));
    s.setValue(QStringLiteral("input"), source == Source::Soapy    ? QStringLiteral("soapy")
                                        : source == Source::RtlTcp ? QStringLiteral("rtl_tcp")
                                                                   : QStringLiteral("sound"));
    s.setValue(QStringLiteral("soapyDevice"), soapyDevice);
    s.setValue(QStringLiteral("rtlTcp"), rtlTcpAddress);
    s.setValue(QStringLiteral("frequency"), frequencyHz);
    s.setValue(QStringLiteral("rate"), rate);
    s.setValue(QStringLiteral("gain"), gainAuto ? QStringLiteral("auto") : QString::number(gainDb));
    s.setValue(QStringLiteral("ppm"), ppm);
    s.setValue(QStringLiteral("biasTee"), biasTee);
    s.setValue(QStringLiteral("iqFormat"), iqFormat);
    s.setValue(QStringLiteral("iqRate"), iqRate);
    s.setValue(QStringLiteral("iqFrequency"), iqFrequencyHz);
}

bool SdrInputSettings::toDevice(sdr::DeviceAddress& address, sdr::SdrSettings& settings, QString& error) const
{
    std::string e;
    const std::string text = source == Source::RtlTcp ? "rtl_tcp://" + rtlTcpAddress.toStdString()
                                                      : soapyDevice.toStdString();
    if (source == Source::SoundCard || text.empty() || !sdr::parseDeviceAddress(text, address, e) ||
        (source == Source::Soapy && address.kind != sdr::DeviceAddress::Kind::Soapy)) {
        error = e.empty() ? QStringLiteral("no SDR device named") : QString::fromStdString(e);
        return false;
    }
    settings.frequencyHz = frequencyHz;
    settings.rate = rate;
    settings.gainDb = gainAuto ? std::nullopt : std::optional<double>(gainDb);
    settings.ppm = ppm;
    settings.biasTee = biasTee;
    return true;
}

QString SdrInputSettings::describe() const
{
    const QString device = source == Source::RtlTcp ? QStringLiteral("rtl_tcp %1").arg(rtlTcpAddress)
                                                    : QStringLiteral("SoapySDR %1").arg(soapyDevice);
    return QStringLiteral("%1, %2 MHz, %3 MS/s")
        .arg(device, QString::fromStdString(formats::formatMhz(frequencyHz)))
        .arg(rate / 1e6, 0, 'g', 4);
}

}  // namespace nimbra
