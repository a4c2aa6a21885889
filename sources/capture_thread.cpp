#include "sources/capture_thread.h"

#include <QAudioSource>
#include <QCoreApplication>
#include <QDebug>
#include <QDeadlineTimer>
#include <QMutexLocker>
#include <QPointer>

#include <utility>

#include "sources/capture_format.h"

namespace nimbra {

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

QString errorText(QAudio::Error error)
{
    switch (error) {
    case QAudio::NoError: return QStringLiteral("the input stopped");
    case QAudio::OpenError: return QStringLiteral("the device could not be opened");
    case QAudio::IOError: return QStringLiteral("the device could not be read");
    case QAudio::UnderrunError: return QStringLiteral("the input ran dry");
    case QAudio::FatalError: return QStringLiteral("the audio server or the device went away");
    }
    return QStringLiteral("the input failed");
}

}  // namespace

CaptureThread::CaptureThread(const QAudioDevice& device, std::shared_ptr<CaptureLink> link, int bufferBytes,
                             QObject* parent)
    : QThread(parent), device_(device), link_(std::move(link)), bufferBytes_(bufferBytes)
{
    setObjectName(QStringLiteral("capture"));
}

CaptureThread::Start CaptureThread::waitForStart(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    QMutexLocker lock(&mutex_);
    while (start_ == Start::Pending) {
        if (!startDone_.wait(&mutex_, deadline))
            break;
    }
    return start_;
}

QString CaptureThread::endReason() const
{
    QMutexLocker lock(&mutex_);
    return endReason_;
}

void CaptureThread::reportStart(Start result)
{
    QMutexLocker lock(&mutex_);
    start_ = result;
    startDone_.wakeAll();
}

void CaptureThread::endByItself(const QString& reason)
{
    {
        QMutexLocker lock(&mutex_);
        endReason_ = reason;
    }
    endedByItself_.store(true);
}

void CaptureThread::run()
{
    // Everything Qt's audio input owns lives and dies on this thread.
    QAudioSource source(device_, captureFormat());
    source.setBufferSize(bufferBytes_);
    if (source.error() != QAudio::NoError) {
        reportStart(Start::CreateFailed);
        return;
    }
    QPointer<QIODevice> input = source.start();
    if (!input || source.error() != QAudio::NoError) {
        source.stop();
        reportStart(Start::StartFailed);
        return;
    }
    const int sleepMs = captureSleepIntervalMs(source.bufferSize() > 0 ? int(source.bufferSize()) : bufferBytes_);
    reportStart(Start::Started);

    while (!stop_.load()) {
        // Lets Qt deliver the audio server's state changes and errors to the source.
        QCoreApplication::processEvents();
        const QAudio::State state = source.state();
        if (input && (state == QAudio::ActiveState || state == QAudio::IdleState)) {
            const QByteArray bytes = input->readAll();
            if (bytes.isEmpty()) {
                if (sleepMs > 0)
                    msleep(static_cast<unsigned long>(sleepMs));
            } else if (!stop_.load()) {
                link_->bytesCaptured += bytes.size();
                link_->queue.PutCapturedBytes(bytes.constData(), bytes.size());
            }
        } else {
            qDebug() << stateTrace(source.state());
            endByItself(errorText(source.error()));
            break;
        }
    }
    source.stop();
}

}  // namespace nimbra
