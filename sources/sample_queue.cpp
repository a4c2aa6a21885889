#include "sources/sample_queue.h"

#include <QDebug>
#include <QMutexLocker>

#include <cstring>
#include <new>

namespace nimbra {

SampleQueue::SampleQueue() = default;

bool SampleQueue::allocate()
{
    QMutexLocker lock(&mutex_);
    writeIndex_ = 0;
    readIndex_ = 0;
    count_ = 0;
    storage_.reset(new (std::nothrow) std::uint32_t[kCapacity]());
    return storage_ != nullptr;
}

void SampleQueue::release()
{
    QMutexLocker lock(&mutex_);
    storage_.reset();
    writeIndex_ = 0;
    readIndex_ = 0;
    count_ = 0;
}

void SampleQueue::PutInQueue(int frameCount, const std::uint32_t* frames)
{
    if (stopped())
        return;
    bool traceOverflow = false;
    {
        QMutexLocker lock(&mutex_);
        if (!storage_)
            return;
        for (int i = 0; i < frameCount; ++i) {
            storage_[writeIndex_] = frames[i];
            ++count_;
            writeIndex_ = (writeIndex_ + 1) & kMask;
            if (writeIndex_ == readIndex_) {
                // Full: make room by dropping the oldest frames, and drop the rest of this call.
                readIndex_ = (readIndex_ + kDropFrames) & kMask;
                count_ -= kDropFrames;
                if (++overflowEvents_ >= kOverflowTraceEvery) {
                    overflowEvents_ = 0;
                    traceOverflow = true;
                }
                break;
            }
        }
    }
    if (traceOverflow)
        qDebug() << "Snd In Overflow" << kOverflowTraceEvery;
}

void SampleQueue::PutCapturedBytes(const char* bytes, long long byteCount)
{
    constexpr long long kPieceBytes = 4096;
    std::uint32_t piece[kPieceBytes / 4];
    while (byteCount > 0) {
        const long long pieceBytes = byteCount > kPieceBytes ? kPieceBytes : byteCount;
        const int frames = static_cast<int>(pieceBytes / 4);
        if (frames > 0) {
            // The audio input's buffer carries no alignment promise: copy before reading words.
            std::memcpy(piece, bytes, static_cast<std::size_t>(frames) * 4);
            PutInQueue(frames, piece);
        }
        bytes += pieceBytes;
        byteCount -= pieceBytes;
    }
}

const SoundBlock* SampleQueue::GetInQueue()
{
    bool underflow = false;
    {
        QMutexLocker lock(&mutex_);
        if (count_ < SoundBlock::kFrames || !storage_)
            return nullptr;
        if (discardOnce_) {
            // Whatever was captured before the consumer first found a block is stale.
            writeIndex_ = 0;
            readIndex_ = 0;
            count_ = 0;
            discardOnce_ = false;
            return nullptr;
        }
        if (stopped())
            return nullptr;
        if (priming_) {
            if (count_ <= kPrimeFrames)
                return nullptr;
            priming_ = false;
        }
        for (int i = 0; i < SoundBlock::kFrames; ++i) {
            if (readIndex_ == writeIndex_) {
                readIndex_ = (readIndex_ - kDropFrames) & kMask;
                count_ += kDropFrames;
                underflow = true;
            }
            taken_[i] = storage_[readIndex_];
            readIndex_ = (readIndex_ + 1) & kMask;
            --count_;
        }
    }
    if (underflow)
        qDebug() << "GetInQueue() Underflow";
    for (int i = 0; i < SoundBlock::kFrames; ++i) {
        std::int16_t channels[2];
        std::memcpy(channels, &taken_[i], sizeof channels);
        block_.frame[i][0] = channels[0];
        block_.frame[i][1] = channels[1];
    }
    return &block_;
}

int SampleQueue::count() const
{
    QMutexLocker lock(&mutex_);
    return count_;
}

}  // namespace nimbra
