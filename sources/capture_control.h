// CaptureControl: the program's sound input (one CSoundIn, its child), started on the chosen
// device and kept running: when capture is lost it tries again until the device is back.
//
// In:  the decoder parameters (soundInputDeviceIndex: the device chosen under Config), the
//      device remembered from the last run (setDevice), and the timing (CaptureTiming).
// Out: captureStarted(device) or captureFailed(message) after every start or restart;
//      captureLost(message), captureResumed(device) around a recovery; statusChanged(text), the
//      one line the status bar shows (empty while all is well). Trace lines for each of these
//      (tries rate-limited, RetrySchedule); a gap with a note for the record file in the sound
//      input's queue where capture was lost and where it resumed. All on the GUI thread.
//
// Which device: a restart (Config and OK) takes the device at soundInputDeviceIndex; from then
// on the device is known by its id and description, and every later start (the next run of the
// program, a recovery) looks for it by them, never by its place in the list, and writes its
// current place back into soundInputDeviceIndex. A device that is not there is waited for; capture
// never moves to another device by itself. Only when no device is known yet (a first run) does
// the index choose, falling back to the default input with a trace line.
//
// Recovery: a start that fails, a capture thread that ends by itself (the audio server died), a
// device that leaves the list (the server would move its stream to another device) or no samples
// for watchdogMs while capture runs all count as a loss; capture
// is then tried again after 1 s, 2 s, 5 s and every 10 s, sooner when the audio server answers
// again or the device list changes. The frames queued before the loss are still decoded. stop()
// and restart() end a wait at once. Nothing touches Qt's audio before the audio server answers
// (AudioBackend), so a program started before the server begins capturing when it appears.
#pragma once

#include <QAudioDevice>
#include <QByteArray>
#include <QDateTime>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include "sources/retry_schedule.h"

namespace nimbra {

struct DecoderParameters;
class CSoundIn;

// An input device as it is remembered: Qt's id (the audio server's name for it) and its
// description (the name the user sees).
struct CaptureDevice {
    QByteArray id;
    QString description;
    bool isNull() const { return id.isEmpty() && description.isEmpty(); }
};

struct CaptureTiming {
    QList<int> retryDelaysMs{1000, 2000, 5000, 10000};
    int watchdogMs = 5000;
    int retraceEveryMs = 60000;
};

// Position of the device in the list: the first with the same id, else the first with the same
// description, else -1.
int findInput(const QList<QAudioDevice>& devices, const CaptureDevice& device);

class CaptureControl : public QObject {
    Q_OBJECT

public:
    enum class State { Stopped, Running, Recovering };
    // While a device list change or the audio server's return is being answered, tries come at
    // least this often.
    static constexpr int kPromptRetryMs = 500;
    static constexpr int kPromptPeriodMs = 6000;

    // The parameters must outlive this object.
    explicit CaptureControl(DecoderParameters& params, QObject* parent = nullptr, CaptureTiming timing = {});
    ~CaptureControl() override;

    CSoundIn& soundIn() { return *soundIn_; }

    // The device to look for at start(), as remembered from the last run.
    void setDevice(const CaptureDevice& device);
    // The device capture runs on or waits for (null while none is known).
    CaptureDevice device() const { return device_; }
    State state() const { return state_; }
    QString status() const { return status_; }

    // Starts capture on the remembered device (or, when none is known, at the index); true when
    // capture runs. When it does not, capture is tried again until it does.
    bool start();
    // Config and OK: stops capture, then starts it on the device at the index.
    bool restart();
    void stop();

signals:
    void captureStarted(const QString& device);
    void captureFailed(const QString& message);
    void captureLost(const QString& message);
    void captureResumed(const QString& device);
    void statusChanged(const QString& message);

private:
    bool attempt(bool explicitStart);
    void lose(const QString& reason);
    void waitToRetry(const QString& why);
    void captureEnded(const QString& reason);
    void watch();
    void answerSoon();
    void setStatus(const QString& message);
    QString deviceName() const;

    DecoderParameters& params_;
    CSoundIn* soundIn_;
    const CaptureTiming timing_;
    RetrySchedule schedule_;
    State state_ = State::Stopped;
    CaptureDevice device_;
    bool byIndex_ = true;  // no device known yet: the index chooses
    QString status_;

    QTimer retryTimer_;
    QTimer watchdog_;
    long long lastBytes_ = 0;
    QElapsedTimer sinceProgress_;
    QElapsedTimer clock_;         // for the trace's rate limit and the prompt period
    long long promptUntilMs_ = 0;
    bool lost_ = false;           // capture ran and was lost; not yet resumed
    QDateTime lostAt_;
    QElapsedTimer lostFor_;
    QString lostReason_;
};

}  // namespace nimbra
