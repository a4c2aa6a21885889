#include "sources/capture_control.h"

#include <QDebug>

#include <algorithm>

#include "demod/decoder_parameters.h"
#include "sources/audio_backend.h"
#include "sources/sound_in.h"
#include "telemetry/time_stamp.h"

namespace nimbra {

namespace {

// How long start() waits for the audio backend's first word on the server.
constexpr int kFirstTryWaitMs = 3000;
constexpr int kWatchdogTickMs = 500;

QString timeStampNow()
{
    char stamp[kTimeStampSize];
    formatTimeStamp(QDateTime::currentMSecsSinceEpoch(), stamp);
    return QString::fromLatin1(stamp);
}

// A note for the record file: not a decoded-text line, so it starts with '#'.
QString recordNote(const QString& text)
{
    return QStringLiteral("# ") + timeStampNow() + QLatin1Char(' ') + text;
}

QString seconds(long long ms)
{
    return QString::number((ms + 500) / 1000);
}

}  // namespace

int findInput(const QList<QAudioDevice>& devices, const CaptureDevice& device)
{
    if (!device.id.isEmpty()) {
        for (int i = 0; i < devices.size(); ++i)
            if (devices[i].id() == device.id)
                return i;
    }
    if (!device.description.isEmpty()) {
        for (int i = 0; i < devices.size(); ++i)
            if (devices[i].description() == device.description)
                return i;
    }
    return -1;
}

CaptureControl::CaptureControl(DecoderParameters& params, QObject* parent, CaptureTiming timing)
    : QObject(parent),
      params_(params),
      soundIn_(new CSoundIn(this)),
      timing_(timing),
      schedule_(timing.retryDelaysMs, timing.retraceEveryMs)
{
    clock_.start();
    retryTimer_.setSingleShot(true);
    connect(&retryTimer_, &QTimer::timeout, this, [this] { attempt(false); });
    watchdog_.setInterval(kWatchdogTickMs);
    connect(&watchdog_, &QTimer::timeout, this, &CaptureControl::watch);
    connect(soundIn_, &CSoundIn::captureEnded, this, &CaptureControl::captureEnded);
    AudioBackend& backend = AudioBackend::instance();
    connect(&backend, &AudioBackend::serverAvailable, this, &CaptureControl::answerSoon);
    connect(&backend, &AudioBackend::inputsChanged, this, &CaptureControl::answerSoon);
}

CaptureControl::~CaptureControl()
{
    stop();
}

void CaptureControl::setDevice(const CaptureDevice& device)
{
    device_ = device;
    byIndex_ = device.isNull();
}

QString CaptureControl::deviceName() const
{
    if (!device_.description.isEmpty())
        return QLatin1Char('"') + device_.description + QLatin1Char('"');
    return tr("(device %1)").arg(params_.soundInputDeviceIndex.load());
}

bool CaptureControl::start()
{
    retryTimer_.stop();
    watchdog_.stop();
    schedule_.reset();
    lost_ = false;
    AudioBackend::instance().waitForFirstTry(kFirstTryWaitMs);
    return attempt(true);
}

bool CaptureControl::restart()
{
    retryTimer_.stop();
    watchdog_.stop();
    if (soundIn_->capturing())
        soundIn_->markGap(QString());  // the decoder must not splice the new device onto the old
    soundIn_->StopCapture();
    schedule_.reset();
    // A capture lost before stays lost until this start works: its resumption is noted then.
    // The device chosen under Config, when the list it was chosen from is there; otherwise the
    // device known so far stays.
    const QList<QAudioDevice> devices = AudioBackend::instance().inputs();
    const int index = params_.soundInputDeviceIndex.load();
    if (index >= 0 && index < devices.size())
        setDevice({devices[index].id(), devices[index].description()});
    else if (device_.isNull())
        byIndex_ = true;
    return attempt(true);
}

void CaptureControl::stop()
{
    retryTimer_.stop();
    watchdog_.stop();
    soundIn_->StopCapture();
    state_ = State::Stopped;
}

bool CaptureControl::attempt(bool explicitStart)
{
    retryTimer_.stop();
    AudioBackend& backend = AudioBackend::instance();
    QString why;
    QAudioDevice chosen;
    QList<QAudioDevice> devices;
    if (!backend.ready() || !backend.serverAnswers()) {
        why = tr("no audio server");
    } else {
        devices = backend.inputs();
        if (byIndex_) {
            // A first run (or a Config with nothing to choose from): the index, or the default.
            // Tries after the first say nothing more about the fallback.
            chosen = CSoundIn::chooseDevice(params_.soundInputDeviceIndex, explicitStart);
            if (chosen.isNull())
                why = tr("no input device");
        } else {
            const int at = findInput(devices, device_);
            if (at >= 0)
                chosen = devices[at];
            else
                why = tr("%1 is not there").arg(deviceName());
        }
    }

    if (why.isEmpty() && soundIn_->StartCapture(chosen)) {
        device_ = {chosen.id(), chosen.description()};
        byIndex_ = false;
        const int at = findInput(devices, device_);
        if (at >= 0)
            params_.soundInputDeviceIndex = at;
        state_ = State::Running;
        lastBytes_ = soundIn_->bytesCaptured();
        sinceProgress_.start();
        watchdog_.start();
        const int tries = schedule_.tries();
        schedule_.reset();
        if (lost_) {
            lost_ = false;
            const long long gapMs = lostFor_.elapsed();
            qDebug().noquote() << "Sound input resumed on" << deviceName() << "after" << seconds(gapMs) << "s,"
                               << tries << (tries == 1 ? "try" : "tries");
            soundIn_->markGap(recordNote(tr("Sound input %1 resumed after %2 s").arg(deviceName(), seconds(gapMs))));
            setStatus(tr("Sound input %1 resumed at %2 UTC after a gap of %3 s (%4)")
                          .arg(deviceName(), QDateTime::currentDateTimeUtc().toString(QStringLiteral("hh:mm:ss")),
                               seconds(gapMs), lostReason_));
            emit captureResumed(chosen.description());
        } else {
            setStatus(QString());
        }
        emit captureStarted(chosen.description());
        return true;
    }

    if (why.isEmpty())
        why = tr("%1 failed to start").arg(QLatin1Char('"') + chosen.description() + QLatin1Char('"'));
    state_ = State::Recovering;
    if (explicitStart) {
        QString message;
        if (!backend.serverAnswers())
            message = tr("No audio server: the sound input starts as soon as one answers (live audio is not decoded meanwhile)");
        else if (chosen.isNull() && byIndex_)
            message = tr("Sound input failed to start: no input device (live audio is not decoded)");
        else
            message = tr("Sound input: %1 (live audio is not decoded)").arg(why);
        emit captureFailed(message);
    }
    waitToRetry(why);
    return false;
}

void CaptureControl::waitToRetry(const QString& why)
{
    int delay = schedule_.nextDelayMs();
    if (clock_.elapsed() < promptUntilMs_)
        delay = std::min(delay, kPromptRetryMs);
    retryTimer_.start(delay);
    const int tries = schedule_.tries();
    if (schedule_.traceThisTry(clock_.elapsed()))
        qDebug().noquote() << "Sound input: try" << tries << "-" << why << "- next in" << delay << "ms";
    const QString next = tr("trying again in %1 s").arg(seconds(delay));
    if (!AudioBackend::instance().serverAnswers() && !lost_)
        setStatus(tr("No audio server: the sound input starts as soon as one answers"));
    else if (lost_)
        setStatus(tr("Sound input %1 lost at %2 UTC (%3); %4, %5")
                      .arg(deviceName(), lostAt_.toString(QStringLiteral("hh:mm:ss")), lostReason_, why, next));
    else
        setStatus(tr("Sound input: %1; %2").arg(why, next));
}

void CaptureControl::lose(const QString& reason)
{
    watchdog_.stop();
    // A watchdog loss finds the thread still running; what it queued stays to be decoded.
    soundIn_->interruptCapture();
    if (!lost_) {
        lost_ = true;
        lostAt_ = QDateTime::currentDateTimeUtc();
        lostFor_.start();
        lostReason_ = reason;
        soundIn_->markGap(recordNote(tr("Sound input %1 lost: %2").arg(deviceName(), reason)));
    }
    qDebug().noquote() << "Sound input lost:" << deviceName() << "-" << reason;
    state_ = State::Recovering;
    emit captureLost(tr("Sound input %1 lost: %2").arg(deviceName(), reason));
    waitToRetry(reason);
}

void CaptureControl::captureEnded(const QString& reason)
{
    if (state_ != State::Running)
        return;
    lose(AudioBackend::instance().serverAnswers() ? reason : tr("the audio server went away"));
}

void CaptureControl::watch()
{
    if (state_ != State::Running)
        return;
    // The audio server moves the streams of a device that goes away to another device: capture
    // would go on from there unnoticed. A device no longer listed counts as lost.
    const AudioBackend& backend = AudioBackend::instance();
    if (backend.serverAnswers() && findInput(backend.inputs(), {device_.id, QString()}) < 0) {
        lose(tr("the device went away"));
        return;
    }
    const long long bytes = soundIn_->bytesCaptured();
    if (bytes != lastBytes_) {
        lastBytes_ = bytes;
        sinceProgress_.start();
        return;
    }
    if (sinceProgress_.elapsed() >= timing_.watchdogMs)
        lose(tr("no samples for %1 s").arg(seconds(timing_.watchdogMs)));
}

void CaptureControl::answerSoon()
{
    // The server is back or a device came or went: try soon, and keep trying often for a while,
    // since Qt's audio reconnects to a returned server a moment after it answers.
    promptUntilMs_ = clock_.elapsed() + kPromptPeriodMs;
    if (state_ == State::Recovering && (!retryTimer_.isActive() || retryTimer_.remainingTime() > kPromptRetryMs))
        retryTimer_.start(kPromptRetryMs);
}

void CaptureControl::setStatus(const QString& message)
{
    status_ = message;
    emit statusChanged(message);
}

}  // namespace nimbra
