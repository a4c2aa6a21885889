// CSoundIn: sound-card capture. Opens one audio input at 48,000 Hz, 16-bit signed, two channels,
// and runs a capture thread that copies what the input delivers into a SampleQueue.
//
// In:  a device index into QMediaDevices::audioInputs() (StartCapture).
// Out: blocks of 512 frames as doubles through GetInQueue(), on the GUI thread.
//
// The audio input and the device it returns are created, polled, stopped and deleted on the
// capture thread alone: Qt's audio objects are not safe to touch from two threads, and after the
// audio server dies Qt deletes the device under the reader's feet. StartCapture waits for the
// thread to report whether the input started. An index outside the device list falls back to
// the default input device. When the server dies or the device vanishes, the thread writes its
// trace line and ends; the next StartCapture tries again.
#pragma once

#include <QAudioDevice>
#include <QMutex>
#include <QThread>
#include <QWaitCondition>

#include <atomic>

#include "sources/sample_queue.h"

namespace nimbra {

class CSoundIn : public QThread {
    Q_OBJECT

public:
    static constexpr int kSampleRate = 48000;
    static constexpr int kChannels = 2;
    // The audio server's fragment: 50 ms of stereo 16-bit frames. The capture thread sleeps for
    // half of it when the input has nothing ready.
    static constexpr int kBufferBytes = 9600;

    explicit CSoundIn(QObject* parent = nullptr);
    ~CSoundIn() override;

    bool StartCapture(int deviceIndex);
    void StopCapture();
    const SoundBlock* GetInQueue() { return queue_.GetInQueue(); }

    // The device the last StartCapture chose, whether or not it then started (null when it chose
    // none: no input device at all, or the start failed before the choice).
    QAudioDevice device() const { return device_; }
    // True while the capture thread runs and stores what it reads.
    bool capturing() const { return !queue_.stopped(); }
    // Bytes read from the audio input since construction; tests wait on it for the first audio.
    long long bytesCaptured() const { return bytesCaptured_.load(); }
    const SampleQueue& queue() const { return queue_; }

    // The device at position index of the input list, or the default input with a trace line
    // when index is not a position in the list.
    static QAudioDevice chooseDevice(int index);
    // Half the duration of one fragment of bufferBytes, in whole milliseconds.
    static int sleepIntervalMs(int bufferBytes) { return bufferBytes * 250 / (kChannels * kSampleRate); }

protected:
    void run() override;

private:
    enum class StartResult { Pending, Started, CreateFailed, StartFailed };

    void reportStart(StartResult result);

    SampleQueue queue_;
    QAudioDevice device_;
    int sleepInterval_ = 0;
    std::atomic<long long> bytesCaptured_{0};

    QMutex startMutex_;
    QWaitCondition startDone_;
    StartResult startResult_ = StartResult::Pending;
};

}  // namespace nimbra
