// FixFeed: the one road by which accepted fixes and finished blocks leave the decoder for the
// desktop program: the signal panel, the views and plots, the track export, and whatever else
// plugs in (network outputs, flight tracking).
//
// In:  the decoder's fix and block listeners (attach), called on whichever thread drives the
//      decoder: the GUI thread for live audio, a WAVE decoding thread for files; and a band's
//      decoding thread (pushTracked, pushBlock): fixes its own trackers judged, blocks of its
//      channels.
// Out: on the GUI thread, in the decoder's order, fixAccepted(FlightFix) for every accepted fix
//      (after the tracking stage, setTracker, has filled in trust, phase and prediction) and
//      blockFinished(PacketEvent) for every finished block, good or bad (its `bytes` are gone:
//      null, as they lived only for the listener's call); a band's blocks as
//      sondeBlockFinished(channel, PacketEvent).
//
// The decoding thread copies each record into a queue, holding a mutex only for that push, and
// never waits for the GUI: the push into an empty queue posts one delivery to the GUI thread,
// which then takes the whole queue at once. The queue is bounded (kMaxQueued; a GUI stalled for
// a day, say): beyond it the oldest entries are dropped and counted.
#pragma once

#include <QMetaType>
#include <QObject>

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>

#include "decoder/decoder.h"
#include "flight/flight_fix.h"

namespace nimbra {

class FixFeed : public QObject {
    Q_OBJECT

public:
    static constexpr std::size_t kMaxQueued = 100000;
    // Fills in trusted, phase and prediction of a fix, on the GUI thread.
    using Tracker = std::function<void(FlightFix&)>;

    explicit FixFeed(QObject* parent = nullptr);

    // Becomes the decoder's fix and block listener. The decoder must not call them once this
    // object is gone: detach first.
    void attach(Decoder& decoder);
    static void detach(Decoder& decoder);
    // Without a tracker every fix is trusted, with no phase and no prediction.
    void setTracker(Tracker tracker) { tracker_ = std::move(tracker); }
    // From a band's decoding thread: a fix its tracker has judged (the tracking stage is not
    // applied again), and a finished block of one of its channels.
    void pushTracked(const FlightFix& fix);
    void pushBlock(int channel, const PacketEvent& block);
    // Entries dropped because the queue was full.
    std::int64_t dropped() const;
    // Delivers what waits now (otherwise the posted delivery does it).
    void deliver();

signals:
    void fixAccepted(const nimbra::FlightFix& fix);
    void blockFinished(const nimbra::PacketEvent& block);
    void sondeBlockFinished(int channel, const nimbra::PacketEvent& block);

private:
    struct Entry {
        bool isFix = false;
        bool tracked = false;  // judged by a band's own tracker
        int channel = -1;      // a band's channel; -1: the window's decoder
        FlightFix fix;
        PacketEvent block;
    };
    void push(Entry&& entry);

    mutable std::mutex mutex_;
    std::deque<Entry> queue_;  // guarded by mutex_
    std::int64_t dropped_ = 0; // guarded by mutex_
    Tracker tracker_;
};

}  // namespace nimbra

Q_DECLARE_METATYPE(nimbra::FlightFix)
Q_DECLARE_METATYPE(nimbra::PacketEvent)
