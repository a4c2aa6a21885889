#include "sources/sound_in.h"

#include <QAudioFormat>
#include <QAudioSource>
#include <QCoreApplication>
#include <QDebug>
#include <QMediaDevices>
#include <QMutexLocker>
#include <QPointer>

namespace nimbra {

namespace {

QAudioFormat captureFormat()
{
    QAudioFormat format;
    format.setSampleRate(CSoundIn::kSampleRate);
    format.setChannelCount(CSoundIn::kChannels);
    format.setSampleFormat(QAudioFormat::Int16);
    return format;
}

// Qt's PulseAudio backend is one object that belongs to the thread that first opens a stream,
// and it reconnects to a restarted audio server through that thread's event loop. Opened first
// on a capture thread, which ends when the server dies, it would never reconnect. So the first
// stream of the process is opened and closed once on the GUI thread.
void bindAudioBackendToGuiThread(const QAudioDevice& device)
{
    static bool bound = false;
    if (bound)
        return;
    bound = true;
    QAudioSource probe(device, captureFormat());
    probe.start();
    probe.stop();
}

}  // namespace

CSoundIn::CSoundIn(QObject* parent) : QThread(parent) {}

CSoundIn::~CSoundIn()
{
    StopCapture();
}

QAudioDevice CSoundIn::chooseDevice(int index)
{
    const QList<QAudioDevice> devices = QMediaDevices::audioInputs();
    if (index >= 0 && index < devices.size())
        return devices.at(index);
    // Qt would silently record the server's default source for a null device; say so instead.
    const QAudioDevice fallback = QMediaDevices::defaultAudioInput();
    qDebug() << "Sound input device" << index << "is not in the list of" << devices.size()
             << "input devices: using the default input" << fallback.description();
    return fallback;
}

bool CSoundIn::StartCapture(int deviceIndex)
{
    if (isRunning())
        StopCapture();
    device_ = QAudioDevice();
    if (!queue_.allocate())
        return false;
    device_ = chooseDevice(deviceIndex);
    qDebug() << "Stereo Input";
    if (device_.isNull()) {
        qDebug() << "Soundcard input error";
        queue_.release();
        return false;
    }

    bindAudioBackendToGuiThread(device_);

    {
        QMutexLocker lock(&startMutex_);
        startResult_ = StartResult::Pending;
    }
    queue_.setStopped(false);
    start(QThread::HighestPriority);

    StartResult result;
    {
        QMutexLocker lock(&startMutex_);
        while (startResult_ == StartResult::Pending)
            startDone_.wait(&startMutex_);
        result = startResult_;
    }
    if (result != StartResult::Started) {
        qDebug() << (result == StartResult::CreateFailed ? "Soundcard input error"
                                                         : "FAIL back from audioinput start");
        queue_.setStopped(true);
        wait();
        queue_.release();
        return false;
    }
    qDebug() << "Soundcard start ++";
    return true;
}

void CSoundIn::StopCapture()
{
    queue_.setStopped(true);
    if (!wait(500)) {
        // The storage must outlive the thread's last PutInQueue.
        qDebug() << "Capture thread still running after 500 ms: waiting for it to end";
        wait();
    }
    queue_.release();
}

void CSoundIn::reportStart(StartResult result)
{
    QMutexLocker lock(&startMutex_);
    startResult_ = result;
    startDone_.wakeAll();
}

namespace {

const char* stateTrace(QAudio::State state)
{
    switch (state) {
    case QAudio::ActiveState: return "ERROR: Active";
    case QAudio::SuspendedState: return "ERROR: Suspended";
    case QAudio::StoppedState: return "ERROR: Stopped";
    case QAudio::IdleState: return "ERROR: Idle";
    }
    return "ERROR: Unknown";
}

}  // namespace

void CSoundIn::run()
{
    // Everything Qt's audio input owns lives and dies on this thread.
    QAudioSource source(device_, captureFormat());
    source.setBufferSize(kBufferBytes);
    if (source.error() != QAudio::NoError) {
        reportStart(StartResult::CreateFailed);
        return;
    }
    QPointer<QIODevice> input = source.start();
    if (!input || source.error() != QAudio::NoError) {
        source.stop();
        reportStart(StartResult::StartFailed);
        return;
    }
    sleepInterval_ = sleepIntervalMs(source.bufferSize() > 0 ? int(source.bufferSize()) : kBufferBytes);
    reportStart(StartResult::Started);

    while (!queue_.stopped()) {
        // Lets Qt deliver the audio server's state changes and errors to the source.
        QCoreApplication::processEvents();
        const QAudio::State state = source.state();
        if (input && (state == QAudio::ActiveState || state == QAudio::IdleState)) {
            const QByteArray bytes = input->readAll();
            if (bytes.isEmpty()) {
                if (sleepInterval_ > 0)
                    msleep(static_cast<unsigned long>(sleepInterval_));
            } else {
                bytesCaptured_ += bytes.size();
                queue_.PutCapturedBytes(bytes.constData(), bytes.size());
            }
        } else {
            qDebug() << stateTrace(source.state());
            queue_.setStopped(true);
            break;
        }
    }
    source.stop();
}

}  // namespace nimbra
