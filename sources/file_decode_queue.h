// FileDecodeQueue: the program's WAVE decodes, one at a time. A file asked for while another is
// decoded waits its turn, so that two decodes never feed the decoder at once; each runs on its own
// MyThread, which is deleted once it has finished.
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

#include <QObject>
#include <QPointer>
#include <QStringList>

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
    void stop();

    bool running() const { return !thread_.isNull(); }
    int pending() const { return static_cast<int>(pending_.size()); }
    // The running decode, or null.
    const MyThread* current() const;
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
    void startNext();

    Decoder& decoder_;
    DecodeArbiter& arbiter_;
    QPointer<MyThread> thread_;
    QStringList pending_;
    int channel_ = 1;
};

}  // namespace nimbra
