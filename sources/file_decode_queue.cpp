#include "sources/file_decode_queue.h"

#include <QDebug>

#include "decoder/decoder.h"
#include "sources/decode_arbiter.h"
#include "sources/wave_thread.h"

namespace nimbra {

FileDecodeQueue::FileDecodeQueue(Decoder& decoder, DecodeArbiter& arbiter, QObject* parent)
    : QObject(parent), decoder_(decoder), arbiter_(arbiter)
{
}

FileDecodeQueue::~FileDecodeQueue()
{
    stop();
}

void FileDecodeQueue::start(const QString& fileName)
{
    startJob({fileName, std::nullopt, {}});
}

void FileDecodeQueue::startIq(const BandDecodeThread::Recording& recording, const flight::TrackerSettings& tracking)
{
    startJob({recording.path, recording, tracking});
}

void FileDecodeQueue::startJob(const Job& job)
{
    const QString fileName = job.fileName;
    if (thread_) {
        pending_.append(job);
        qDebug() << "Decode of" << fileName << "queued: it starts when the running decode ends";
        return;
    }
    QThread* started = nullptr;
    if (job.iq) {
        auto* thread = new BandDecodeThread(decoder_, arbiter_, *job.iq, job.tracking);
        if (prepareBand_)
            prepareBand_(*thread);
        connect(thread, &BandDecodeThread::AppendDecodeText_mainwindow, this,
                &FileDecodeQueue::AppendDecodeText_mainwindow);
        connect(thread, &BandDecodeThread::decodeFailed, this, &FileDecodeQueue::decodeFailed);
        connect(thread, &BandDecodeThread::decodeBegan, this,
                [this, fileName](qint64 first) { emit decodeBegan(fileName, first); });
        started = thread;
    } else {
        auto* thread = new MyThread(decoder_, arbiter_);
        thread->SetFile(fileName);
        thread->setChannel(channel_);
        // Queued to this object's thread (the GUI thread), as the thread emits from its own.
        connect(thread, &MyThread::AppendDecodeText_mainwindow, this,
                &FileDecodeQueue::AppendDecodeText_mainwindow);
        connect(thread, &MyThread::decodeFailed, this, &FileDecodeQueue::decodeFailed);
        connect(thread, &MyThread::decodeBegan, this,
                [this, fileName](qint64 first) { emit decodeBegan(fileName, first); });
        started = thread;
    }
    connect(started, &QThread::finished, this, &FileDecodeQueue::startNext);
    connect(started, &QThread::finished, started, &QObject::deleteLater);
    thread_ = started;
    fileName_ = fileName;
    // Taken here, not only in the thread: the next tick of the live loop on this thread must
    // already leave the decoder to the file, even if the thread has not begun to run.
    arbiter_.beginFileDecode();
    started->start();
    emit decodeStarted(fileName);
}

const MyThread* FileDecodeQueue::current() const
{
    return qobject_cast<const MyThread*>(thread_.data());
}

BandDecodeThread* FileDecodeQueue::currentBand() const
{
    return qobject_cast<BandDecodeThread*>(thread_.data());
}

int FileDecodeQueue::progressPermille() const
{
    if (const MyThread* t = current())
        return t->progressPermille();
    if (const BandDecodeThread* b = currentBand())
        return b->progressPermille();
    return 1000;
}

void FileDecodeQueue::startNext()
{
    if (const MyThread* ended = current())
        emit decodeEnded(ended->fileName(), ended->firstSample(), ended->lastSample());
    else if (thread_)
        emit decodeEnded(fileName_, decoder_.samplesConsumed(), decoder_.samplesConsumed());
    thread_.clear();
    if (!pending_.isEmpty())
        startJob(pending_.takeFirst());
}

void FileDecodeQueue::stop()
{
    pending_.clear();
    if (QThread* thread = thread_.data()) {
        qDebug() << "Stopping the decode of" << fileName_;
        thread->disconnect(this);
        thread->requestInterruption();
        thread->wait();
        delete thread;
    }
}

}  // namespace nimbra
