#include "sources/sample_queue.h"

#include <QDebug>
#include <QMutexLocker>

#include <algorithm>
#include <cstring>
#include <new>

namespace nimbra {

SampleQueue::SampleQueue() = default;

bool SampleQueue::allocate()
{
    QMutexLocker lock(&mutex_);
    dropAll();
    storage_.reset(new (std::nothrow) std::uint32_t[kCapacity]());
    return storage_ != nullptr;
}

void SampleQueue::release()
{
    QMutexLocker lock(&mutex_);
    storage_.reset();
    dropAll();
}

bool SampleQueue::hasStorage() const
{
    QMutexLocker lock(&mutex_);
    return storage_ != nullptr;
}

void SampleQueue::dropFrames(std::int64_t frames)
{
    readIndex_ = static_cast<int>((readIndex_ + frames) & kMask);
    count_ -= static_cast<int>(frames);
    passed_ += frames;
}

void SampleQueue::dropAll()
{
    writeIndex_ = 0;
    readIndex_ = 0;
    count_ = 0;
    passed_ = stored_;
}

std::int64_t SampleQueue::framesBeforeGap() const
{
    return gaps_[0].start - passed_;
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
            ++stored_;
            writeIndex_ = (writeIndex_ + 1) & kMask;
            if (writeIndex_ == readIndex_) {
                // Full: make room by dropping the oldest frames, and drop the rest of this call.
                dropFrames(kDropFrames);
                if (++overflowEvents_ >= kOverflowTraceEvery) {
                    overflowEvents_ = 0;
                    traceOverflow = true;
                }
                break;
            }
        }
        storedTotal_.store(stored_);
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
        // No block spans a gap: once fewer than a block's frames are left before it, takeGap.
        if (gapCount_ > 0 && framesBeforeGap() < SoundBlock::kFrames)
            return nullptr;
        if (discardOnce_) {
            // Whatever was captured before the consumer first found a block is stale.
            dropAll();
            discardOnce_ = false;
            return nullptr;
        }
        if (priming_) {
            if (count_ <= kPrimeFrames && gapCount_ == 0)
                return nullptr;
            priming_ = false;
        }
        for (int i = 0; i < SoundBlock::kFrames; ++i) {
            if (readIndex_ == writeIndex_) {
                readIndex_ = (readIndex_ - kDropFrames) & kMask;
                count_ += kDropFrames;
                passed_ -= kDropFrames;
                underflow = true;
            }
            taken_[i] = storage_[readIndex_];
            readIndex_ = (readIndex_ + 1) & kMask;
            --count_;
            ++passed_;
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

void SampleQueue::markGap(const QString& note)
{
    QMutexLocker lock(&mutex_);
    if (gapCount_ == kMaxGaps) {
        Gap& last = gaps_[kMaxGaps - 1];
        last.end = stored_;
        if (!note.isEmpty())
            last.note = last.note.isEmpty() ? note : last.note + QLatin1Char('\r') + note;
        return;
    }
    gaps_[gapCount_++] = Gap{stored_, stored_, note};
}

bool SampleQueue::takeGap(QString* note)
{
    QMutexLocker lock(&mutex_);
    if (gapCount_ == 0 || (count_ >= SoundBlock::kFrames && framesBeforeGap() >= SoundBlock::kFrames))
        return false;
    const std::int64_t left = std::min<std::int64_t>(gaps_[0].end - passed_, count_);
    if (left > 0)
        dropFrames(left);
    if (note)
        *note = gaps_[0].note;
    std::move(gaps_ + 1, gaps_ + gapCount_, gaps_);
    gaps_[--gapCount_] = Gap{};
    return true;
}

int SampleQueue::gapsWaiting() const
{
    QMutexLocker lock(&mutex_);
    return gapCount_;
}

int SampleQueue::count() const
{
    QMutexLocker lock(&mutex_);
    return count_;
}

std::int64_t SampleQueue::framesStored() const
{
    return storedTotal_.load();
}

}  // namespace nimbra
