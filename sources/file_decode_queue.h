// FileDecodeQueue: the program's WAVE and IQ recording decodes, one at a time. A file asked for
// while another is decoded waits its turn, so that two decodes never feed the decoder at once;
// each runs on its own thread (MyThread for receiver audio, BandDecodeThread for an SDR's IQ),
// which is deleted once it has finished.
//
// In:  file names (start), on the GUI thread; the channel of converted recordings (setChannel).
// Out: AppendDecodeText_mainwindow() after each chunk of the running decode, delivered on the GUI
//      thread; the decoder's text accumulators hold the lines. Also on the GUI thread:
//      decodeStarted(file) when a decode is started, decodeBegan(file, first) when its thread
//      begins to feed, decodeFailed(message) for a file that cannot be read, and
//      decodeEnded(file, first, last) when it has ended (the decoder's sample numbers before its
//      first and after its last sample).
//
// A decode holds the decoder (DecodeArbiter) from the moment start() is called, before its thread
// runs. stop() (and the destructor) forget the waiting files and interrupt and wait for the
// running decode, so nothing feeds the decoder afterwards.
#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QThread>

#include <functional>
#include <optional>

#include "flight/flight_tracker.h"
#include "sources/band_decode_thread.h"

namespace nimbra {

class Decoder;
class DecodeArbiter;
class MyThread;

class FileDecodeQueue : public QObject {
    Q_OBJECT

public:
    // The decoder and the arbiter must outlive this object.
    FileDecodeQueue(Decoder& decoder, DecodeArbiter& arbiter, QObject* parent = nullptr);
    ~FileDecodeQueue() override;

    // Decodes the file now, or after the decodes before it.
    void start(const QString& fileName);
    // An SDR's IQ recording, every sonde in it, with the tracker's settings.
    void startIq(const BandDecodeThread::Recording& recording, const flight::TrackerSettings& tracking);
    // Called with each IQ decode's thread before it starts (its sinks are set there).
    void setBandPreparer(std::function<void(BandDecodeThread&)> prepare) { prepareBand_ = std::move(prepare); }
    void stop();

    bool running() const { return !thread_.isNull(); }
    int pending() const { return static_cast<int>(pending_.size()); }
    // The running WAVE decode, or null.
    const MyThread* current() const;
    // The running IQ decode, or null.
    BandDecodeThread* currentBand() const;
    // Of the running decode, 0 to 1000 (1000 when none runs).
    int progressPermille() const;
    // For the decodes started from now on (1-based).
    void setChannel(int channel) { channel_ = channel; }

signals:
    void AppendDecodeText_mainwindow();
    void decodeStarted(const QString& fileName);
    // Delivered before anything the decode reports through the decoder's listeners.
    void decodeBegan(const QString& fileName, qint64 firstSample);
    void decodeFailed(const QString& message);
    void decodeEnded(const QString& fileName, qint64 firstSample, qint64 lastSample);

private:
    struct Job {
        QString fileName;
        std::optional<BandDecodeThread::Recording> iq;
        flight::TrackerSettings tracking;
    };
    void startJob(const Job& job);
    void startNext();

    Decoder& decoder_;
    DecodeArbiter& arbiter_;
    QPointer<QThread> thread_;
    QList<Job> pending_;
    QString fileName_;  // of the running decode
    int channel_ = 1;
    std::function<void(BandDecodeThread&)> prepareBand_;
};

}  // namespace nimbra
