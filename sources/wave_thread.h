// MyThread: decodes a recording on a worker thread, as fast as the processor allows.
//
// In:  the file named by SetFile. A WAVE of 16-bit PCM, one channel, 48,000 samples/s is read as
//      it always was: raw signed 16-bit little-endian samples from its first byte (the header
//      decodes as 22 samples of noise), in chunks of 1,000,000 bytes. Any other recording that
//      libsndfile reads (WAVE of any rate, width or channel count, float WAVE, FLAC, AIFF, ...)
//      is read as nimbra-decode reads it: the chosen channel (setChannel, 1-based; the first
//      by default), resampled to 48,000 samples/s with libsoxr, rounded to 16 bits.
// Out: every sample through the decoder it was given; after each chunk (1,000,000 bytes, or
//      500,000 samples of a converted file) the pending record text goes to
//      "<absolute path of the file>.txt" (while recording is on) and AppendDecodeText_mainwindow()
//      asks the window to show the pending display text. A file that cannot be read is not
//      decoded and gets no record file: decodeFailed(message) says why, for the user.
//
// The decode holds the decoder (DecodeArbiter) while it feeds samples and lets it go when it
// ends. requestInterruption() ends the decode early (the program does so at exit). Progress and
// the decoder's sample numbers of the decode's first and latest samples can be read from any
// thread while it runs.
#pragma once

#include <QString>
#include <QThread>

#include <atomic>
#include <cstdint>

class QFile;

namespace nimbra {

namespace input {
struct AudioFileInfo;
}

class Decoder;
class DecodeArbiter;

class MyThread : public QThread {
    Q_OBJECT

public:
    static constexpr qint64 kChunkBytes = 1000000;
    static constexpr qint64 kChunkSamples = kChunkBytes / 2;

    // The decoder and the arbiter must outlive the thread's run.
    MyThread(Decoder& decoder, DecodeArbiter& arbiter, QObject* parent = nullptr);

    void SetFile(const QString& name);
    QString fileName() const { return fileName_; }
    // The channel of a converted recording to decode, 1-based. Set before start().
    void setChannel(int channel) { channel_ = channel; }

    // Of the file read so far, 0 to 1000.
    int progressPermille() const { return progress_.load(); }
    // Decoder sample numbers: before the decode's first sample, and after its latest (-1 before
    // the decode has begun).
    std::int64_t firstSample() const { return firstSample_.load(); }
    std::int64_t lastSample() const { return lastSample_.load(); }

signals:
    void AppendDecodeText_mainwindow();
    void decodeFailed(const QString& message);
    // From the decoding thread, before the first sample is fed: everything the decoder reports
    // afterwards with a higher sample number comes from this file.
    void decodeBegan(qint64 firstSample);

protected:
    void run() override;

private:
    void decodeRaw(QFile& wave, QFile& record, const QString& recordName);
    void decodeConverted(QFile& record, const QString& recordName, const input::AudioFileInfo& info);
    // Writes the pending record text and asks for the display text to be shown.
    void endChunk(QFile& record, const QString& recordName);
    void feed(const std::int16_t* samples, std::size_t count);

    Decoder& decoder_;
    DecodeArbiter& arbiter_;
    // Held as a string of any length: a long path is never cut or written past a field.
    QString fileName_;
    int channel_ = 1;
    std::atomic<int> progress_{0};
    std::atomic<std::int64_t> firstSample_{-1};
    std::atomic<std::int64_t> lastSample_{-1};
};

}  // namespace nimbra
