// AudioBackend: where Qt's audio lives in this process, and whether the audio server is there.
//
// Qt's audio on Linux keeps one connection to the audio server for the whole process, made by
// the thread that first opens an audio stream, and reconnects it after the server goes away
// through that thread's event loop: three seconds after the loss, once. If the server is not
// back by then, or was not there when the connection was first made, Qt's audio stays without a
// server for the rest of the process. So nothing may touch Qt's audio before the server answers,
// and the reconnection must wait until it answers again. This object owns the thread that does
// both: it watches the server with a connection of its own (AudioServerWatch), opens Qt's audio
// on its own thread once the server answers, runs that thread's event loop while the server
// answers, and holds it, with Qt's reconnection in it, while the server is away.
//
// In:  nothing; created on first use (instance(), GUI thread), owned by the application object.
// Out: ready() (Qt's audio may be used), inputs() and defaultInput() (empty until ready), and
//      the signals serverAvailable(), serverLost() and inputsChanged(), emitted on the backend
//      thread (receivers on other threads get them queued).
//
// It is the one process-wide object of the sound input, because Qt's audio is process-wide.
#pragma once

#include <QAudioDevice>
#include <QList>
#include <QObject>

#include <atomic>

class QThread;

namespace nimbra {

class AudioBackend : public QObject {
    Q_OBJECT

public:
    // Milliseconds between tries while the server does not answer.
    static constexpr int kProbeIntervalMs = 500;
    // After a loss, Qt's audio is given this long to see it (and schedule its reconnection)
    // before the backend thread is held.
    static constexpr int kLossGraceMs = 250;

    static AudioBackend& instance();
    ~AudioBackend() override;

    // Qt's audio has been opened on the backend thread: the server answered at least once.
    bool ready() const { return ready_.load(); }
    // The server answers now.
    bool serverAnswers() const { return answers_.load(); }
    // Waits until the backend has tried the server once (at most timeoutMs); returns ready().
    bool waitForFirstTry(int timeoutMs);
    // Waits until ready (at most timeoutMs); for tests and tools.
    bool waitUntilReady(int timeoutMs);

    // Qt's list of audio inputs and its default input, or nothing before ready().
    QList<QAudioDevice> inputs() const;
    QAudioDevice defaultInput() const;

signals:
    void serverAvailable();
    void serverLost();
    void inputsChanged();

private:
    class Thread;
    explicit AudioBackend(QObject* parent);

    Thread* thread_;
    std::atomic<bool> ready_{false};
    std::atomic<bool> answers_{false};
    std::atomic<bool> tried_{false};
};

}  // namespace nimbra
