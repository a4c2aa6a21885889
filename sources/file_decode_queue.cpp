#include "sources/file_decode_queue.h"

#include <QDebug>

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
    if (thread_) {
        pending_.append(fileName);
        qDebug() << "Decode of" << fileName << "queued: it starts when the running decode ends";
        return;
    }
    auto* thread = new MyThread(decoder_, arbiter_);
    thread->SetFile(fileName);
    thread->setChannel(channel_);
    // Queued to this object's thread (the GUI thread), as the thread emits from its own.
    connect(thread, &MyThread::AppendDecodeText_mainwindow, this,
            &FileDecodeQueue::AppendDecodeText_mainwindow);
    connect(thread, &MyThread::decodeFailed, this, &FileDecodeQueue::decodeFailed);
    connect(thread, &MyThread::decodeBegan, this,
            [this, fileName](qint64 first) { emit decodeBegan(fileName, first); });
    connect(thread, &QThread::finished, this, &FileDecodeQueue::startNext);
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread_ = thread;
    // Taken here, not only in the thread: the next tick of the live loop on this thread must
    // already leave the decoder to the file, even if the thread has not begun to run.
    arbiter_.beginFileDecode();
    thread->start();
    emit decodeStarted(fileName);
}

const MyThread* FileDecodeQueue::current() const
{
    return thread_.data();
}

void FileDecodeQueue::startNext()
{
    if (const MyThread* ended = thread_.data())
        emit decodeEnded(ended->fileName(), ended->firstSample(), ended->lastSample());
    thread_.clear();
    if (!pending_.isEmpty())
        start(pending_.takeFirst());
}

void FileDecodeQueue::stop()
{
    pending_.clear();
    if (MyThread* thread = thread_.data()) {
        qDebug() << "Stopping the decode of" << thread->fileName();
        thread->disconnect(this);
        thread->requestInterruption();
        thread->wait();
        delete thread;
    }
}

}  // namespace nimbra
