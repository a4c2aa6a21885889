// SdrInputSettings: where the desktop program's input comes from when it is not the sound card:
// an SDR device through SoapySDR or an rtl_tcp server, with the frequency, rate, gain,
// frequency correction and bias tee (group "SDR" of the settings store; the decoder's own keys
// stay as they are); and the answers last given for an IQ recording whose name and header do
// not tell its format, rate or frequency.
//
// A stored value that cannot be used reads as its default.
#pragma once

#include <QString>

#include "sdr/device_address.h"
#include "sdr/sdr_device.h"

namespace nimbra {

struct SdrInputSettings {
    enum class Source { SoundCard, Soapy, RtlTcp };

    Source source = Source::SoundCard;
    QString soapyDevice = QStringLiteral("driver=rtlsdr");
    QString rtlTcpAddress = QStringLiteral("127.0.0.1:1234");
    double frequencyHz = 1680e6;
    double rate = 2400000.0;
    bool gainAuto = true;
    double gainDb = 30.0;
    int ppm = 0;
    bool biasTee = false;

    QString iqFormat = QStringLiteral("cu8");  // the IQ recording dialog's last answers
    double iqRate = 2400000.0;
    double iqFrequencyHz = 1680e6;

    static SdrInputSettings load();
    void save() const;

    bool sdr() const { return source != Source::SoundCard; }
    // The device and its settings; false with `error` (one line) when the address is not usable.
    bool toDevice(sdr::DeviceAddress& address, sdr::SdrSettings& settings, QString& error) const;
    // "SoapySDR driver=rtlsdr, 1680.000 MHz, 2.4 MS/s"
    QString describe() const;
};

}  // namespace nimbra
