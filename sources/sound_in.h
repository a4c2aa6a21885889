// CSoundIn: sound-card capture. Opens one audio input at 48,000 Hz, 16-bit signed, two channels,
// and runs a capture thread (CaptureThread) that copies what the input delivers into a
// SampleQueue.
//
// In:  a device, or an index into the audio backend's input list (StartCapture).
// Out: blocks of 512 frames as doubles through GetInQueue(), and the gaps between runs of
//      capture through takeGap(), on the GUI thread; captureEnded(reason) when the capture thread
//      ended by itself (the server died or the device vanished).
//
// Each start runs a capture thread of its own; StartCapture waits for it to report whether the
// input started (kStartTimeoutMs at most). An index outside the device list falls back to the
// default input device, with a trace line. StopCapture ends the thread and frees the queue;
// interruptCapture ends the thread but keeps what is queued, so that the frames captured before
// a loss are still decoded; a capture thread that ends by itself keeps them too. A later
// StartCapture goes on with the same queue when it still has its storage.
//
// A capture thread that does not end within kStopTimeoutMs of being told to, or whose start has
// not come back within kStartTimeoutMs (Qt waits without end for a stream whose device vanished
// at that very moment), is left behind: it shares nothing with this object that could be freed
// under it, and it deletes itself should it ever end. While such a thread waits inside Qt's
// audio, Qt's own teardown at process exit would fail under it: threadsLeftBehind() tells main()
// to leave without the teardown.
#pragma once

#include <QAudioDevice>
#include <QObject>

#include <memory>

#include "sources/capture_format.h"
#include "sources/sample_queue.h"

namespace nimbra {

class CaptureThread;
struct CaptureLink;

class CSoundIn : public QObject {
    Q_OBJECT

public:
    static constexpr int kSampleRate = kCaptureSampleRate;
    static constexpr int kChannels = kCaptureChannels;
    // The audio server's fragment: 50 ms of stereo 16-bit frames. The capture thread sleeps for
    // half of it when the input has nothing ready.
    static constexpr int kBufferBytes = 9600;
    static constexpr int kStartTimeoutMs = 5000;
    static constexpr int kStopTimeoutMs = 3000;

    explicit CSoundIn(QObject* parent = nullptr);
    ~CSoundIn() override;

    // Captures from the device at this position of the input list (see chooseDevice).
    bool StartCapture(int deviceIndex);
    // Captures from this device; true when capture runs.
    bool StartCapture(const QAudioDevice& device);
    // Ends capture and frees the queue.
    void StopCapture();
    // Ends capture and keeps what is queued for GetInQueue (a lost capture).
    void interruptCapture();

    const SoundBlock* GetInQueue();
    // The break after the frames queued so far, and its note for the record (SampleQueue).
    void markGap(const QString& note);
    bool takeGap(QString* note);

    // The device the last StartCapture chose, whether or not it then started (null when it chose
    // none: no input device at all, or the start failed before the choice).
    QAudioDevice device() const { return device_; }
    // True while a capture thread runs and stores what it reads.
    bool capturing() const;
    // Bytes read from the audio input since construction; tests and the watchdog watch it.
    long long bytesCaptured() const;
    const SampleQueue& queue() const;
    // The queue itself, for the periodic loop that takes its blocks and gaps.
    SampleQueue& queue();

    // The device at position index of the audio backend's input list, or the default input
    // (with a trace line when trace is set) when index is not a position in the list; null
    // before the backend is ready.
    static QAudioDevice chooseDevice(int index, bool trace = true);
    // Half the duration of one fragment of bufferBytes, in whole milliseconds.
    static int sleepIntervalMs(int bufferBytes) { return captureSleepIntervalMs(bufferBytes); }
    // Capture threads of the process left behind and still inside Qt's audio.
    static int threadsLeftBehind();

signals:
    // The capture thread ended without being told to; reason says why, for the user.
    void captureEnded(const QString& reason);

private:
    void threadFinished();
    // Tells the thread to stop and waits for it; abandons it after kStopTimeoutMs.
    void endThread();
    void abandonThread();

    std::shared_ptr<CaptureLink> link_;
    CaptureThread* thread_ = nullptr;
    QAudioDevice device_;
};

}  // namespace nimbra
