#include "app/settings.h"

#include <QSettings>
#include <QStringList>

#include <algorithm>
#include <cmath>

#include "demod/decoder_parameters.h"

namespace nimbra {

const char* const kOrganization = "org.nimbra-project";
const char* const kApplication = "Nimbra";

namespace {

// The whole part of a stored threshold. A damaged or hand-edited store may hold anything; a value
// that is not a number reads as 0 and one beyond +-1e9 (far past any sample level) is limited to
// it, so that the conversion to an integer is always defined.
float wholeThreshold(double stored)
{
    if (std::isnan(stored))
        return 0.0f;
    const double limited = std::clamp(stored, -1e9, 1e9);
    return static_cast<float>(static_cast<int>(limited));
}

}  // namespace

void LoadSettings(DecoderParameters& p)
{
    QSettings s(QString::fromLatin1(kOrganization), QString::fromLatin1(kApplication));
    if (s.value("settingsAreOK").toInt() == 0) {
        // First start: the first-run values. threshold, displayPsuData, displayCalibrationData
        // and soundInputDeviceIndex keep their initial values, which are their first-run values.
        const DecoderParameters firstRun;
        p.recordDecodedText = firstRun.recordDecodedText;
        p.updateBadCrcPackets = firstRun.updateBadCrcPackets;
        p.autoThreshold = firstRun.autoThreshold;
        p.doFiltering = firstRun.doFiltering;
        p.invertSignal = firstRun.invertSignal;
        p.demodType = firstRun.demodType;
        p.rejectBogus = firstRun.rejectBogus;
        p.samplesPerBit = firstRun.samplesPerBit;
        p.maxRange = firstRun.maxRange;
        p.userLat = firstRun.userLat;
        p.userLon = firstRun.userLon;
        p.userAlt = firstRun.userAlt;
        return;
    }
    p.recordDecodedText = s.value("recordDecodedText").toInt();
    p.updateBadCrcPackets = s.value("updateBadCrcPackets").toInt();
    p.autoThreshold = s.value("autoThreshold").toInt();
    p.doFiltering = s.value("doFiltering").toInt();
    p.invertSignal = s.value("invertSignal").toInt();
    p.demodType = s.value("demodType").toInt();
    p.rejectBogus = s.value("rejectBogus").toInt();
    p.samplesPerBit = s.value("samplesPerBit").toFloat();
    p.maxRange = s.value("maxRange").toFloat();
    p.userLat = s.value("userLat").toFloat();
    p.userLon = s.value("userLon").toFloat();
    p.userAlt = s.value("userAlt").toFloat();
    p.displayPsuData = s.value("displayPsuData").toInt();
    p.displayCalibrationData = s.value("displayCalibrationData").toInt();
    // The threshold is stored as a float but only its whole part is taken back: the automatic
    // threshold starts again from a whole number. (Converting the stored text "12.7" straight to
    // an integer would fail and lose it altogether.)
    p.threshold = wholeThreshold(s.value("threshold").toDouble());
    p.soundInputDeviceIndex = s.value("soundInputDeviceIndex").toInt();
}

void SaveSettings(const DecoderParameters& p)
{
    QSettings s(QString::fromLatin1(kOrganization), QString::fromLatin1(kApplication));
    s.setValue("settingsAreOK", 1);
    s.setValue("recordDecodedText", p.recordDecodedText.load());
    s.setValue("demodType", p.demodType.load());
    s.setValue("invertSignal", p.invertSignal.load());
    s.setValue("rejectBogus", p.rejectBogus.load());
    s.setValue("doFiltering", p.doFiltering.load());
    s.setValue("updateBadCrcPackets", p.updateBadCrcPackets.load());
    s.setValue("autoThreshold", p.autoThreshold.load());
    s.setValue("samplesPerBit", p.samplesPerBit.load());
    s.setValue("maxRange", p.maxRange.load());
    s.setValue("userLat", p.userLat.load());
    s.setValue("userLon", p.userLon.load());
    s.setValue("userAlt", p.userAlt.load());
    s.setValue("displayPsuData", p.displayPsuData.load());
    s.setValue("displayCalibrationData", p.displayCalibrationData.load());
    s.setValue("threshold", p.threshold.load());
    s.setValue("soundInputDeviceIndex", p.soundInputDeviceIndex.load());
}

CaptureDevice LoadCaptureDevice()
{
    QSettings s(QString::fromLatin1(kOrganization), QString::fromLatin1(kApplication));
    return {s.value("soundInputDeviceId").toByteArray(), s.value("soundInputDeviceDescription").toString()};
}

void SaveCaptureDevice(const CaptureDevice& device)
{
    if (device.isNull())
        return;
    QSettings s(QString::fromLatin1(kOrganization), QString::fromLatin1(kApplication));
    s.setValue("soundInputDeviceId", device.id);
    s.setValue("soundInputDeviceDescription", device.description);
}

CaptureTiming LoadCaptureTiming()
{
    QSettings s(QString::fromLatin1(kOrganization), QString::fromLatin1(kApplication));
    CaptureTiming timing;
    QList<int> delays;
    const QStringList words = s.value("soundInputRetrySeconds").toString().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (const QString& word : words) {
        bool ok = false;
        const double secondsValue = word.toDouble(&ok);
        if (!ok || !(secondsValue > 0.0) || secondsValue > 3600.0)
            return timing;
        delays << static_cast<int>(secondsValue * 1000.0 + 0.5);
    }
    if (!delays.isEmpty())
        timing.retryDelaysMs = delays;
    return timing;
}

}  // namespace nimbra
