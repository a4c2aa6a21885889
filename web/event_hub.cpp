#include "web/event_hub.h"

#include <chrono>

namespace nimbra::web {

std::string EventHub::format(const std::string& name, const std::string& json)
{
    return "event: " + name + "\ndata: " + json + "\n\n";
}

void EventHub::publish(const std::string& name, const std::string& json)
{
    auto event = std::make_shared<const std::string>(format(name, json));
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto& [id, q] : queues_) {
            if (q.events.size() >= kQueue) {
                q.events.pop_front();
                q.overflowed = true;
                ++dropped_;
            }
            q.events.push_back(event);
        }
    }
    changed_.notify_all();
}

EventHub::ClientId EventHub::subscribe()
{
    std::lock_guard<std::mutex> lock(mutex_);
    const ClientId id = nextId_++;
    queues_[id];
    return id;
}

void EventHub::unsubscribe(ClientId id)
{
    std::lock_guard<std::mutex> lock(mutex_);
    queues_.erase(id);
}

bool EventHub::next(ClientId id, std::string& event, bool& reset, int timeoutMs)
{
    std::unique_lock<std::mutex> lock(mutex_);
    auto ready = [&] {
        if (stopping_)
            return true;
        const auto it = queues_.find(id);
        return it == queues_.end() || !it->second.events.empty();
    };
    if (!changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready) || stopping_)
        return false;
    const auto it = queues_.find(id);
    if (it == queues_.end())
        return false;
    event = *it->second.events.front();
    it->second.events.pop_front();
    reset = it->second.overflowed;
    it->second.overflowed = false;
    return true;
}

void EventHub::stop()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
}

std::size_t EventHub::clients() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return queues_.size();
}

std::uint64_t EventHub::dropped() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return dropped_;
}

}  // namespace nimbra::web
