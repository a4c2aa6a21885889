// SampleQueue: the ring of stereo frames between the capture thread and the periodic decode loop.
//
// In:  PutInQueue(n, frames) on the capture thread: 4-byte frames (left then right, signed 16-bit
//      little-endian) exactly as the audio input delivers them, at most 1,024 per call.
//      markGap(note) on the GUI thread where capture was lost or restarted.
// Out: GetInQueue() on the GUI thread: a block of 512 frames as doubles, or null while fewer
//      than 512 frames wait, while the queue is still priming, or when the next gap is reached;
//      then takeGap() hands out the gap (and its note) once.
//
// The ring holds 131,072 frames (about 2.7 s at 48 kHz). A full ring drops its oldest 32,768
// frames; a take from an empty ring steps back 32,768 frames rather than hand out nothing. The
// first take of a run that finds a block throws away everything captured until then, and the
// first capture of the object is primed: nothing is handed out until more than 65,536 frames wait,
// so that the consumer starts with a cushion against the jitter of the 500 ms loop.
//
// A gap marks the place where the stream of frames breaks off (capture lost, or stopped and
// started again): the frames before it are still handed out in whole blocks, no block spans it,
// and the frames before it that do not fill a whole block are dropped when takeGap() passes it.
// So the consumer decodes everything queued before a loss, and learns of the break exactly
// between the last frames before it and the first frames after it. A gap ends priming early:
// with the stream broken off there is no jitter to cushion.
//
// One mutex guards the storage, the indices, the counts, the gaps and the discard-once flag; the
// stop flag (no puts while it is set) is atomic so that both threads can read it without the lock.
#pragma once

#include <QMutex>
#include <QString>

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
    // Gaps waiting to be passed. Capture cannot be lost and regained this often between two
    // takes of a working consumer; should it happen, the newest gap takes the last place and the
    // frames between the two are dropped with it.
    static constexpr int kMaxGaps = 8;

    SampleQueue();

    // Empties the ring and allocates zeroed storage; false when the memory is not available.
    // Gaps already marked stay and are passed at once.
    bool allocate();
    // Frees the storage (what it held is dropped). Only when the producer can no longer call
    // PutInQueue.
    void release();
    bool hasStorage() const;

    // The stop flag: set while no capture runs; PutInQueue stores nothing while it is set. Set
    // after construction.
    void setStopped(bool stopped) { stopped_.store(stopped); }
    bool stopped() const { return stopped_.load(); }

    void PutInQueue(int frameCount, const std::uint32_t* frames);
    // Bytes as read from the audio input: stored in pieces of 4,096 bytes (1,024 frames), front
    // to back; a trailing part-frame is dropped.
    void PutCapturedBytes(const char* bytes, long long byteCount);
    // Valid until the next call.
    const SoundBlock* GetInQueue();

    // Marks a gap after the frames stored so far, with a note for the record (may be empty).
    void markGap(const QString& note);
    // When GetInQueue has handed out every whole block before the next gap: drops the frames
    // left before it, stores its note in *note and returns true, once per gap. False while blocks
    // before the gap are still to be taken, or when no gap waits.
    bool takeGap(QString* note);
    int gapsWaiting() const;

    // Frames waiting now (for tests and diagnostics).
    int count() const;
    // Frames stored since construction (only ever grows; the capture watchdog watches it).
    std::int64_t framesStored() const;
    bool priming() const { return priming_; }

private:
    struct Gap {
        // In frames stored since construction: the last frame before the break ends at start, the
        // first frame after it begins at end (the same place unless gaps were merged).
        std::int64_t start = 0;
        std::int64_t end = 0;
        QString note;
    };

    void dropFrames(std::int64_t frames);  // from the front; mutex held
    void dropAll();                        // mutex held
    std::int64_t framesBeforeGap() const;  // mutex held; gapCount_ > 0

    mutable QMutex mutex_;
    std::unique_ptr<std::uint32_t[]> storage_;
    int writeIndex_ = 0;
    int readIndex_ = 0;
    int count_ = 0;
    // Positions in the stream: frames stored and frames taken or dropped since construction.
    // count_ == stored_ - passed_ always.
    std::int64_t stored_ = 0;
    std::int64_t passed_ = 0;
    Gap gaps_[kMaxGaps];
    int gapCount_ = 0;
    bool discardOnce_ = true;
    int overflowEvents_ = 0;
    std::atomic<bool> stopped_{true};
    std::atomic<std::int64_t> storedTotal_{0};  // stored_, readable without the lock
    bool priming_ = true;  // GUI thread only
    std::uint32_t taken_[SoundBlock::kFrames];  // consumer only
    SoundBlock block_;                           // consumer only
};

}  // namespace nimbra
