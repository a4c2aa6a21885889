#include "sources/sound_in.h"

#include <QDebug>

#include <atomic>

#include "sources/audio_backend.h"
#include "sources/capture_thread.h"

namespace nimbra {

namespace {

std::atomic<int> leftBehind{0};

}  // namespace

int CSoundIn::threadsLeftBehind()
{
    return leftBehind.load();
}

CSoundIn::CSoundIn(QObject* parent) : QObject(parent), link_(std::make_shared<CaptureLink>()) {}

CSoundIn::~CSoundIn()
{
    StopCapture();
}

QAudioDevice CSoundIn::chooseDevice(int index, bool trace)
{
    const AudioBackend& backend = AudioBackend::instance();
    const QList<QAudioDevice> devices = backend.inputs();
    if (index >= 0 && index < devices.size())
        return devices.at(index);
    // Qt would silently record the server's default source for a null device; say so instead.
    const QAudioDevice fallback = backend.defaultInput();
    if (trace)
        qDebug() << "Sound input device" << index << "is not in the list of" << devices.size()
             << "input devices: using the default input" << fallback.description();
    return fallback;
}

bool CSoundIn::StartCapture(int deviceIndex)
{
    endThread();
    device_ = QAudioDevice();
    if (!link_->queue.hasStorage() && !link_->queue.allocate())
        return false;
    return StartCapture(chooseDevice(deviceIndex));
}

bool CSoundIn::StartCapture(const QAudioDevice& device)
{
    endThread();
    device_ = device;
    if (!link_->queue.hasStorage() && !link_->queue.allocate())
        return false;
    qDebug() << "Stereo Input";
    // Qt's audio may only be touched once the backend has opened it (AudioBackend).
    if (device_.isNull() || !AudioBackend::instance().ready()) {
        qDebug() << "Soundcard input error";
        return false;
    }

    link_->queue.setStopped(false);
    thread_ = new CaptureThread(device_, link_, kBufferBytes, this);
    connect(thread_, &QThread::finished, this, &CSoundIn::threadFinished);
    thread_->start(QThread::HighestPriority);
    const CaptureThread::Start result = thread_->waitForStart(kStartTimeoutMs);
    if (result == CaptureThread::Start::Started) {
        qDebug() << "Soundcard start ++";
        return true;
    }
    if (result == CaptureThread::Start::Pending) {
        qDebug() << "Soundcard start did not return within" << kStartTimeoutMs << "ms";
        abandonThread();
    } else {
        qDebug() << (result == CaptureThread::Start::CreateFailed ? "Soundcard input error"
                                                                  : "FAIL back from audioinput start");
        endThread();
    }
    link_->queue.setStopped(true);
    return false;
}

void CSoundIn::StopCapture()
{
    endThread();
    // The storage must outlive the thread's last PutInQueue: the thread has ended (or, abandoned,
    // stores nothing more).
    link_->queue.release();
}

void CSoundIn::interruptCapture()
{
    endThread();
}

void CSoundIn::endThread()
{
    link_->queue.setStopped(true);
    if (!thread_)
        return;
    CaptureThread* thread = thread_;
    thread->requestStop();
    if (!thread->wait(kStopTimeoutMs)) {
        abandonThread();
        return;
    }
    thread_ = nullptr;
    delete thread;
}

void CSoundIn::abandonThread()
{
    CaptureThread* thread = thread_;
    thread_ = nullptr;
    thread->requestStop();
    qDebug() << "Capture thread does not return from the audio backend: left behind";
    thread->disconnect(this);
    thread->setParent(nullptr);
    ++leftBehind;
    connect(thread, &QThread::finished, thread, [thread] {
        --leftBehind;
        thread->deleteLater();
    });
}

void CSoundIn::threadFinished()
{
    CaptureThread* thread = thread_;
    if (!thread || sender() != thread || !thread->endedByItself())
        return;
    link_->queue.setStopped(true);
    const QString reason = thread->endReason();
    thread->wait();
    thread_ = nullptr;
    delete thread;
    emit captureEnded(reason);
}

const SoundBlock* CSoundIn::GetInQueue()
{
    return link_->queue.GetInQueue();
}

void CSoundIn::markGap(const QString& note)
{
    link_->queue.markGap(note);
}

bool CSoundIn::takeGap(QString* note)
{
    return link_->queue.takeGap(note);
}

bool CSoundIn::capturing() const
{
    return thread_ != nullptr && !link_->queue.stopped();
}

long long CSoundIn::bytesCaptured() const
{
    return link_->bytesCaptured.load();
}

const SampleQueue& CSoundIn::queue() const
{
    return link_->queue;
}

SampleQueue& CSoundIn::queue()
{
    return link_->queue;
}

}  // namespace nimbra
