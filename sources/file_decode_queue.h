// FileDecodeQueue: the program's WAVE decodes, one at a time. A file asked for while another is
// decoded waits its turn, so that two decodes never feed the decoder at once; each runs on its own
// MyThread, which is deleted once it has finished.
//
// In:  file names (start), on the GUI thread.
// Out: AppendDecodeText_mainwindow() after each chunk of the running decode, delivered on the GUI
//      thread; the decoder's text accumulators hold the lines.
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

signals:
    void AppendDecodeText_mainwindow();

private:
    void startNext();

    Decoder& decoder_;
    DecodeArbiter& arbiter_;
    QPointer<MyThread> thread_;
    QStringList pending_;
};

}  // namespace nimbra
