// BoundedQueue: the hand-over from the decoding thread to one output's worker thread.
//
// In:  items pushed by the decoding thread. push() takes a short lock that the worker never
//      holds while it uses the network, so it never waits on the network and never fails.
// Out: the items in order to the worker. When the queue is full the oldest item is dropped and
//      counted: a dead network costs the oldest fixes, never the decoder's time or unbounded
//      memory.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>

namespace nimbra::outputs {

template <typename T>
class BoundedQueue {
public:
    explicit BoundedQueue(std::size_t capacity) : capacity_(capacity ? capacity : 1) {}

    void push(T item)
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (items_.size() >= capacity_) {
                items_.pop_front();
                ++dropped_;
            }
            items_.push_back(std::move(item));
        }
        ready_.notify_one();
    }

    // Puts items taken earlier back at the front, in their order (a delivery that did not
    // complete). Items that no longer fit are the oldest: they are dropped and counted.
    void pushFront(std::deque<T> earlier)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        while (!earlier.empty()) {
            if (items_.size() >= capacity_) {
                ++dropped_;
            } else {
                items_.push_front(std::move(earlier.back()));
            }
            earlier.pop_back();
        }
    }

    std::optional<T> tryPop()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (items_.empty())
            return std::nullopt;
        T item = std::move(items_.front());
        items_.pop_front();
        return item;
    }

    // Waits until an item is queued, wake() is called or `deadline` passes.
    void waitUntil(std::chrono::steady_clock::time_point deadline)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        ready_.wait_until(lock, deadline, [&] { return !items_.empty() || woken_; });
        woken_ = false;
    }

    // Waits until wake() is called or `deadline` passes, whatever is queued: for a worker that
    // cannot deliver now and must not spin on the items waiting.
    void waitForWake(std::chrono::steady_clock::time_point deadline)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        ready_.wait_until(lock, deadline, [&] { return woken_; });
        woken_ = false;
    }

    void wake()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            woken_ = true;
        }
        ready_.notify_all();
    }

    std::size_t size() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return items_.size();
    }

    std::uint64_t dropped() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return dropped_;
    }

private:
    const std::size_t capacity_;
    mutable std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<T> items_;
    std::uint64_t dropped_ = 0;
    bool woken_ = false;
};

}  // namespace nimbra::outputs
