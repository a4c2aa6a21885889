// MyThread: decodes a WAVE file on a worker thread, as fast as the processor allows.
//
// In:  the file named by SetFile, read as raw signed 16-bit little-endian samples from its first
//      byte (the header is not parsed), in chunks of 1,000,000 bytes.
// Out: every sample through the decoder it was given; after each chunk the pending record text
//      goes to "<absolute path of the file>.txt" (while recording is on) and
//      AppendDecodeText_mainwindow() asks the window to show the pending display text.
//
// The decode holds the decoder (DecodeArbiter) while it feeds samples and lets it go when it
// ends. requestInterruption() ends the decode early (the program does so at exit).
#pragma once

#include <QString>
#include <QThread>

namespace nimbra {

class Decoder;
class DecodeArbiter;

class MyThread : public QThread {
    Q_OBJECT

public:
    static constexpr qint64 kChunkBytes = 1000000;

    // The decoder and the arbiter must outlive the thread's run.
    MyThread(Decoder& decoder, DecodeArbiter& arbiter, QObject* parent = nullptr);

    void SetFile(const QString& name);
    QString fileName() const { return fileName_; }

signals:
    void AppendDecodeText_mainwindow();

protected:
    void run() override;

private:
    Decoder& decoder_;
    DecodeArbiter& arbiter_;
    // Held as a string of any length: a long path is never cut or written past a field.
    QString fileName_;
};

}  // namespace nimbra
