#include "sources/audio_backend.h"

#include <QAudioSource>
#include <QCoreApplication>
#include <QDebug>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMediaDevices>
#include <QMutex>
#include <QMutexLocker>
#include <QPointer>
#include <QThread>
#include <QWaitCondition>

#include "sources/audio_server_watch.h"
#include "sources/capture_format.h"

namespace nimbra {

namespace {

AudioBackend* theBackend = nullptr;
constexpr int kAnswerTimeoutMs = 2000;

}  // namespace

class AudioBackend::Thread : public QThread {
public:
    explicit Thread(AudioBackend& owner) : owner_(owner) { setObjectName(QStringLiteral("audio backend")); }

    void requestQuit()
    {
        QMutexLocker lock(&mutex_);
        quit_ = true;
        // Ends the event loop running on the thread (thread-safe; posted events may no longer
        // be delivered while the application object is being destroyed).
        quit();
        wake_.wakeAll();
    }

    // Waits for the backend thread's state to satisfy done, at most timeoutMs.
    template <typename Done>
    bool waitFor(Done done, int timeoutMs)
    {
        QDeadlineTimer deadline(timeoutMs);
        QMutexLocker lock(&mutex_);
        while (!done()) {
            if (!changed_.wait(&mutex_, deadline))
                return done();
        }
        return true;
    }

protected:
    void run() override
    {
        AudioServerWatch watch;
        QMediaDevices* devices = nullptr;
        while (!quitting()) {
            const bool answered = watch.connect(kAnswerTimeoutMs);
            if (answered && !owner_.ready_.load())
                devices = openQtAudio();
            owner_.answers_.store(answered);
            announce([this] { owner_.tried_.store(true); });
            if (!answered) {
                QMutexLocker lock(&mutex_);
                if (!quit_)
                    wake_.wait(&mutex_, kProbeIntervalMs);
                continue;
            }
            emit owner_.serverAvailable();

            // Qt's audio (its device list, its reconnection) runs in this event loop, for as long
            // as the server answers.
            QEventLoop loop;
            if (quitting())
                break;
            watch.setLostHandler([&loop] { QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection); });
            loop.exec();
            watch.setLostHandler(nullptr);
            if (quitting())
                break;
            owner_.answers_.store(false);
            qDebug() << "Audio server lost: waiting for it to answer again";
            emit owner_.serverLost();
            // Let Qt's audio notice the loss and schedule its reconnection; from here on the
            // reconnection waits in this thread's queue until the server answers again.
            QElapsedTimer grace;
            grace.start();
            while (grace.elapsed() < kLossGraceMs && !quitting())
                QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        }
        delete devices;
    }

private:
    bool quitting()
    {
        QMutexLocker lock(&mutex_);
        return quit_;
    }

    template <typename Change>
    void announce(Change change)
    {
        QMutexLocker lock(&mutex_);
        change();
        changed_.wakeAll();
    }

    // Qt's audio is opened here, so that it lives on this thread: its device list and one
    // stream, opened and closed. Returns the device-change notifier, also of this thread.
    QMediaDevices* openQtAudio()
    {
        const QList<QAudioDevice> inputs = QMediaDevices::audioInputs();
        {
            QAudioSource probe(QMediaDevices::defaultAudioInput(), captureFormat());
            probe.start();
            probe.stop();
        }
        auto* devices = new QMediaDevices;
        QObject::connect(devices, &QMediaDevices::audioInputsChanged, devices,
                         [this] { emit owner_.inputsChanged(); }, Qt::DirectConnection);
        qDebug() << "Audio server answers:" << inputs.size() << "input devices";
        announce([this] { owner_.ready_.store(true); });
        return devices;
    }

    AudioBackend& owner_;
    QMutex mutex_;
    QWaitCondition wake_;     // the thread's pause between tries
    QWaitCondition changed_;  // tried_ or ready_ changed
    bool quit_ = false;
};

AudioBackend& AudioBackend::instance()
{
    if (!theBackend)
        theBackend = new AudioBackend(QCoreApplication::instance());
    return *theBackend;
}

AudioBackend::AudioBackend(QObject* parent) : QObject(parent), thread_(new Thread(*this))
{
    thread_->start();
}

AudioBackend::~AudioBackend()
{
    thread_->requestQuit();
    thread_->wait();
    delete thread_;
    if (theBackend == this)
        theBackend = nullptr;
}

bool AudioBackend::waitForFirstTry(int timeoutMs)
{
    thread_->waitFor([this] { return tried_.load(); }, timeoutMs);
    return ready();
}

bool AudioBackend::waitUntilReady(int timeoutMs)
{
    return thread_->waitFor([this] { return ready_.load(); }, timeoutMs);
}

QList<QAudioDevice> AudioBackend::inputs() const
{
    return ready() ? QMediaDevices::audioInputs() : QList<QAudioDevice>();
}

QAudioDevice AudioBackend::defaultInput() const
{
    return ready() ? QMediaDevices::defaultAudioInput() : QAudioDevice();
}

}  // namespace nimbra
