#include "app/fix_feed.h"

#include <utility>
#include <vector>

#include "telemetry/gps_fix.h"

namespace nimbra {

FixFeed::FixFeed(QObject* parent) : QObject(parent)
{
    qRegisterMetaType<nimbra::FlightFix>();
    qRegisterMetaType<nimbra::PacketEvent>();
}

void FixFeed::attach(Decoder& decoder)
{
    decoder.setFixListener([this, &decoder](const FixRecord& record) {
        Entry entry;
        entry.isFix = true;
        // The line lives only for this call, and the block's length (its satellite count) only
        // until the next block: both are taken here, on the decoding thread.
        entry.fix = flightFixOf(record, satellitesInGpsBlock(decoder.telemetry.blockLength.load()));
        push(std::move(entry));
    });
    decoder.setPacketListener([this](const PacketEvent& block) {
        Entry entry;
        entry.block = block;
        entry.block.bytes = nullptr;
        push(std::move(entry));
    });
}

void FixFeed::detach(Decoder& decoder)
{
    decoder.setFixListener(nullptr);
    decoder.setPacketListener(nullptr);
}

void FixFeed::pushTracked(const FlightFix& fix)
{
    Entry entry;
    entry.isFix = true;
    entry.tracked = true;
    entry.channel = fix.channel;
    entry.fix = fix;
    push(std::move(entry));
}

void FixFeed::pushBlock(int channel, const PacketEvent& block)
{
    Entry entry;
    entry.channel = channel;
    entry.block = block;
    entry.block.bytes = nullptr;
    push(std::move(entry));
}

std::int64_t FixFeed::dropped() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return dropped_;
}

void FixFeed::push(Entry&& entry)
{
    bool wasEmpty = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        wasEmpty = queue_.empty();
        if (queue_.size() >= kMaxQueued) {
            queue_.pop_front();
            ++dropped_;
        }
        queue_.push_back(std::move(entry));
    }
    if (wasEmpty)
        QMetaObject::invokeMethod(this, &FixFeed::deliver, Qt::QueuedConnection);
}

void FixFeed::deliver()
{
    std::deque<Entry> taken;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        taken.swap(queue_);
    }
    for (Entry& entry : taken) {
        if (!entry.isFix) {
            if (entry.channel >= 0)
                emit sondeBlockFinished(entry.channel, entry.block);
            else
                emit blockFinished(entry.block);
            continue;
        }
        if (tracker_ && !entry.tracked)
            tracker_(entry.fix);
        emit fixAccepted(entry.fix);
    }
}

}  // namespace nimbra
