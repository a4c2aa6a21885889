#include "sources/wave_thread.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <string>
#include <vector>

#include "decoder/decoder.h"
#include "sources/decode_arbiter.h"

namespace nimbra {

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

    QFile wave(fileName_);
    if (!wave.open(QIODevice::ReadOnly))
        qDebug() << "Cannot open WAVE file" << fileName_ << wave.errorString();
    const QFileInfo info(fileName_);
    const QString recordName = info.absoluteFilePath() + QStringLiteral(".txt");
    QFile record(recordName);
    qDebug() << "recFileName: " << recordName;
    qDebug() << "fileSize: " << fileName_ << info.absoluteFilePath() << info.size();

    arbiter_.beginFileDecode();
    std::vector<char> raw(static_cast<std::size_t>(kChunkBytes));
    std::vector<std::int16_t> samples(static_cast<std::size_t>(kChunkBytes / 2));
    qint64 n = 0;
    do {
        n = wave.isOpen() ? wave.read(raw.data(), kChunkBytes) : 0;
        if (n < 0)
            n = 0;
        qDebug() << "fileSize: " << n;
        const qsizetype count = static_cast<qsizetype>(n / 2);  // an odd last byte is ignored
        qFromLittleEndian<qint16>(raw.data(), count, samples.data());
        // Fed in slices so that a request to stop is seen within a fraction of a second.
        constexpr qsizetype kSlice = 48000;
        for (qsizetype i = 0; i < count && !isInterruptionRequested(); i += kSlice) {
            const qsizetype len = count - i < kSlice ? count - i : kSlice;
            decoder_.ProcessSamples(samples.data() + i, static_cast<std::size_t>(len));
        }

        const std::string text = decoder_.decodedRecordText.takeAll();
        // No record file is made for a file that could not be read.
        if (decoder_.params.recordDecodedText && wave.isOpen()) {
            if (!record.isOpen()) {
                QFile::remove(recordName);
                if (!record.open(QIODevice::WriteOnly | QIODevice::Truncate))
                    qDebug() << "Cannot open record file" << recordName << record.errorString();
            }
            if (record.isOpen())
                record.write(text.data(), static_cast<qint64>(text.size()));
        }
        emit AppendDecodeText_mainwindow();
    } while (n == kChunkBytes && !isInterruptionRequested());

    arbiter_.endFileDecode();
    record.close();
    wave.close();
}

}  // namespace nimbra
