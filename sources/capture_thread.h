// CaptureThread: one run of live capture, from the start of the audio input to its end.
//
// In:  the device to capture, and the link it shares with its CSoundIn (queue and byte count).
// Out: the outcome of the start (waitForStart), the captured frames in the link's queue, and,
//      when the input stopped by itself, the reason (endReason) once the thread has finished.
//
// The audio input (QAudioSource) and the device it returns are created, polled, stopped and
// deleted on this thread alone: Qt's audio objects are not safe to touch from two threads, and
// when the audio server dies Qt deletes the device under the reader's feet. The thread polls with
// QCoreApplication::processEvents() so that Qt's failure handling runs, reads whatever is ready,
// and sleeps for half a fragment when nothing is. It ends when told to stop (requestStop) or when
// the input leaves the active and idle states (the server or the device went away); it then
// writes its trace line ("ERROR: Stopped") and stores nothing more.
//
// Everything the thread touches is its own or shared through the link, so that a thread that
// never comes back from Qt's start (Qt waits without end for a stream whose device vanished in
// that very moment) can be abandoned without anything it holds being freed under it.
#pragma once

#include <QAudioDevice>
#include <QMutex>
#include <QString>
#include <QThread>
#include <QWaitCondition>

#include <atomic>
#include <memory>

#include "sources/sample_queue.h"

namespace nimbra {

// What a CSoundIn shares with its capture threads.
struct CaptureLink {
    SampleQueue queue;
    std::atomic<long long> bytesCaptured{0};
};

class CaptureThread : public QThread {
    Q_OBJECT

public:
    enum class Start { Pending, Started, CreateFailed, StartFailed };

    CaptureThread(const QAudioDevice& device, std::shared_ptr<CaptureLink> link, int bufferBytes,
                  QObject* parent = nullptr);

    // The outcome of the start, waiting at most timeoutMs for it (Pending when it has not come).
    Start waitForStart(int timeoutMs);
    void requestStop() { stop_.store(true); }
    // After the thread has finished: true when the input stopped by itself, and why.
    bool endedByItself() const { return endedByItself_.load(); }
    QString endReason() const;

protected:
    void run() override;

private:
    void reportStart(Start result);
    void endByItself(const QString& reason);

    const QAudioDevice device_;
    const std::shared_ptr<CaptureLink> link_;
    const int bufferBytes_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> endedByItself_{false};

    mutable QMutex mutex_;
    QWaitCondition startDone_;
    Start start_ = Start::Pending;
    QString endReason_;
};

}  // namespace nimbra
