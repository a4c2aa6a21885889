// SampleQueue: the ring of stereo frames between the capture thread and the periodic decode loop.
//
// In:  PutInQueue(n, frames) on the capture thread: 4-byte frames (left then right, signed 16-bit
//      little-endian) exactly as the audio input delivers them, at most 1,024 per call.
// Out: GetInQueue() on the GUI thread: a block of 512 frames as doubles, or null while fewer
//      than 512 frames wait, while capture is stopped, or while the queue is still priming.
//
// The ring holds 131,072 frames (about 2.7 s at 48 kHz). A full ring drops its oldest 32,768
// frames; a take from an empty ring steps back 32,768 frames rather than hand out nothing. The
// first take of a run that finds a block throws away everything captured until then, and the
// first capture of the object is primed: nothing is handed out until more than 65,536 frames wait,
// so that the consumer starts with a cushion against the jitter of the 500 ms loop.
//
// One mutex guards the storage, the indices, the count and the discard-once flag; the stop flag
// is atomic so that both threads can read it without the lock.
#pragma once

#include <QMutex>

#include <atomic>
#include <cstdint>
#include <memory>

namespace nimbra {

struct SoundBlock {
    static constexpr int kFrames = 512;
    double frame[kFrames][2];  // first and second channel, each an exact 16-bit value
};

class SampleQueue {
public:
    static constexpr int kCapacity = 131072;  // frames
    static constexpr int kMask = kCapacity - 1;
    static constexpr int kDropFrames = 32768;  // dropped on overflow, stepped back on underflow
    static constexpr int kPrimeFrames = 65536;  // primed once more than this many frames wait
    static constexpr int kOverflowTraceEvery = 50000;

    SampleQueue();

    // Empties the ring and allocates zeroed storage; false when the memory is not available.
    bool allocate();
    // Frees the storage. Only when the producer can no longer call PutInQueue.
    void release();
    bool hasStorage() const { return storage_ != nullptr; }

    // The stop flag: set while no capture runs. Set after construction.
    void setStopped(bool stopped) { stopped_.store(stopped); }
    bool stopped() const { return stopped_.load(); }

    void PutInQueue(int frameCount, const std::uint32_t* frames);
    // Bytes as read from the audio input: stored in pieces of 4,096 bytes (1,024 frames), front
    // to back; a trailing part-frame is dropped.
    void PutCapturedBytes(const char* bytes, long long byteCount);
    // Valid until the next call.
    const SoundBlock* GetInQueue();

    // Frames waiting now (for tests and diagnostics).
    int count() const;
    bool priming() const { return priming_; }

private:
    mutable QMutex mutex_;
    std::unique_ptr<std::uint32_t[]> storage_;
    int writeIndex_ = 0;
    int readIndex_ = 0;
    int count_ = 0;
    bool discardOnce_ = true;
    int overflowEvents_ = 0;
    std::atomic<bool> stopped_{true};
    bool priming_ = true;  // GUI thread only
    std::uint32_t taken_[SoundBlock::kFrames];  // consumer only
    SoundBlock block_;                           // consumer only
};

}  // namespace nimbra
