// MyThread: decodes a WAVE file on a worker thread, as fast as the processor allows.
//
// In:  the file named by SetFile, read as raw signed 16-bit little-endian samples from its first
//      byte (the header is not parsed), in chunks of 1,000,000 bytes.
// Out: every sample through the process-wide decoder; after each chunk the pending record text
//      goes to "<absolute path of the file>.txt" (while recording is on) and
//      AppendDecodeText_mainwindow() asks the window to show the pending display text.
//
// fileDecodeRunning is 1 while the samples are fed. requestInterruption() ends the decode early
// (the program does so at exit).
#pragma once

#include <QString>
#include <QThread>

class MyThread : public QThread {
    Q_OBJECT

public:
    static constexpr qint64 kChunkBytes = 1000000;

    explicit MyThread(QObject* parent = nullptr);

    void SetFile(const QString& name);
    QString fileName() const { return fileName_; }

signals:
    void AppendDecodeText_mainwindow();

protected:
    void run() override;

private:
    // Held as a string of any length: a long path is never cut or written past a field.
    QString fileName_;
};
