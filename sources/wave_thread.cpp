#include "sources/wave_thread.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "decoder/decoder.h"
#include "input/audio_file_info.h"
#include "input/pcm16.h"
#include "input/resampler.h"
#include "input/sample_source.h"
#include "sources/decode_arbiter.h"

namespace nimbra {

namespace {

constexpr double kDecoderRate = 48000.0;
// Frames per read of a converted recording: the same blocks as nimbra-decode, so that the
// resampler sees the same pieces and the two programs decode the same samples.
constexpr std::size_t kReadFrames = 65536;

// The reason alone, without the path that the readers put in front.
QString reasonOf(const std::string& error, const QString& path)
{
    QString reason = QString::fromLocal8Bit(error.data(), static_cast<qsizetype>(error.size()));
    const QString prefix = path + QStringLiteral(": ");
    return reason.startsWith(prefix) ? reason.mid(prefix.size()) : reason;
}

}  // namespace

MyThread::MyThread(Decoder& decoder, DecodeArbiter& arbiter, QObject* parent)
    : QThread(parent), decoder_(decoder), arbiter_(arbiter)
{
}

void MyThread::SetFile(const QString& name)
{
    qDebug() << "MyThread SetFile " << name;
    fileName_ = name;
}

void MyThread::run()
{
    qDebug() << "MyThread run ";

    const input::AudioFileInfo info = input::readAudioFileInfo(QFile::encodeName(fileName_).toStdString());
    const QFileInfo fileInfo(fileName_);
    const QString recordName = fileInfo.absoluteFilePath() + QStringLiteral(".txt");
    QFile record(recordName);
    qDebug() << "recFileName: " << recordName;
    qDebug() << "fileSize: " << fileName_ << fileInfo.absoluteFilePath() << fileInfo.size();

    arbiter_.beginFileDecode();
    firstSample_ = decoder_.samplesConsumed();
    lastSample_ = firstSample_.load();
    emit decodeBegan(firstSample_.load());
    if (!info.readable) {
        const QString message = tr("Cannot decode %1: %2").arg(fileInfo.fileName(), reasonOf(info.error, fileName_));
        qDebug() << message;
        emit decodeFailed(message);
        // One pass with no samples, as for any decode: the window takes whatever text is pending.
        emit AppendDecodeText_mainwindow();
    } else if (info.plainWave) {
        QFile wave(fileName_);
        if (wave.open(QIODevice::ReadOnly))
            decodeRaw(wave, record, recordName);
        else
            emit decodeFailed(tr("Cannot decode %1: %2").arg(fileInfo.fileName(), wave.errorString()));
    } else {
        qDebug() << "Reading" << QString::fromStdString(info.format) << "through the converting reader";
        decodeConverted(record, recordName, info);
    }
    arbiter_.endFileDecode();
    record.close();
}

void MyThread::feed(const std::int16_t* samples, std::size_t count)
{
    // Fed in slices so that a request to stop is seen within a fraction of a second.
    constexpr std::size_t kSlice = 48000;
    for (std::size_t i = 0; i < count && !isInterruptionRequested(); i += kSlice) {
        const std::size_t len = std::min(kSlice, count - i);
        decoder_.ProcessSamples(samples + i, len);
        lastSample_ = decoder_.samplesConsumed();
    }
}

void MyThread::endChunk(QFile& record, const QString& recordName)
{
    const std::string text = decoder_.decodedRecordText.takeAll();
    if (decoder_.params.recordDecodedText) {
        if (!record.isOpen()) {
            QFile::remove(recordName);
            if (!record.open(QIODevice::WriteOnly | QIODevice::Truncate))
                qDebug() << "Cannot open record file" << recordName << record.errorString();
        }
        if (record.isOpen())
            record.write(text.data(), static_cast<qint64>(text.size()));
    }
    emit AppendDecodeText_mainwindow();
}

void MyThread::decodeRaw(QFile& wave, QFile& record, const QString& recordName)
{
    const qint64 size = std::max<qint64>(1, wave.size());
    std::vector<char> raw(static_cast<std::size_t>(kChunkBytes));
    std::vector<std::int16_t> samples(static_cast<std::size_t>(kChunkSamples));
    qint64 n = 0;
    qint64 done = 0;
    do {
        n = std::max<qint64>(0, wave.read(raw.data(), kChunkBytes));
        qDebug() << "fileSize: " << n;
        const qsizetype count = static_cast<qsizetype>(n / 2);  // an odd last byte is ignored
        qFromLittleEndian<qint16>(raw.data(), count, samples.data());
        feed(samples.data(), static_cast<std::size_t>(count));
        done += n;
        progress_ = static_cast<int>(std::min<qint64>(1000, done * 1000 / size));
        endChunk(record, recordName);
    } while (n == kChunkBytes && !isInterruptionRequested());
}

void MyThread::decodeConverted(QFile& record, const QString& recordName, const input::AudioFileInfo& info)
{
    // The channel the user chose, where the file has it.
    const int channel = std::clamp(channel_, 1, std::max(1, info.channels));
    if (channel != channel_)
        qDebug() << "The file has no channel" << channel_ << "- decoding channel" << channel;
    std::string error;
    std::unique_ptr<input::SampleSource> source =
        input::openAudioFile(QFile::encodeName(fileName_).toStdString(), channel, error);
    std::unique_ptr<input::Resampler> resampler;
    if (source && source->sampleRate() != kDecoderRate) {
        resampler = std::make_unique<input::Resampler>(source->sampleRate(), kDecoderRate);
        if (!resampler->ok()) {
            error = resampler->error();
            source.reset();
        }
    }
    if (!source) {
        emit decodeFailed(tr("Cannot decode %1: %2").arg(QFileInfo(fileName_).fileName(), reasonOf(error, fileName_)));
        emit AppendDecodeText_mainwindow();
        return;
    }

    std::vector<float> block, resampled;
    std::vector<std::int16_t> pcm;
    std::int64_t framesRead = 0;
    qint64 sinceChunk = 0;
    bool end = false;
    while (!end && !isInterruptionRequested()) {
        block.clear();
        const long n = source->read(block, kReadFrames);
        if (n < 0)
            qDebug() << "Read error:" << QString::fromStdString(source->error());
        end = n <= 0;
        const std::vector<float>* out = &block;
        if (resampler) {
            resampled.clear();
            if (end)
                resampler->finish(resampled);
            else
                resampler->process(block, resampled);
            out = &resampled;
        }
        input::roundToPcm16(*out, pcm);
        feed(pcm.data(), pcm.size());
        framesRead += std::max(0L, n);
        if (info.frames > 0)
            progress_ = static_cast<int>(std::min<std::int64_t>(1000, framesRead * 1000 / info.frames));
        sinceChunk += static_cast<qint64>(pcm.size());
        if (sinceChunk >= kChunkSamples || end) {
            endChunk(record, recordName);
            sinceChunk = 0;
        }
    }
}

}  // namespace nimbra
