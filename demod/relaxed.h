// Relaxed<T>: a value that one thread writes and others read without a lock.
//
// The decoder thread writes display values, parameters and scope entries while the GUI thread
// reads them. Each value must be read whole (never torn), but no ordering between values is
// needed, so every access is a relaxed atomic load or store. On x86 these compile to plain moves,
// so the per-sample path pays nothing for them.
#pragma once

#include <atomic>

namespace nimbra {

template <typename T>
class Relaxed {
public:
    constexpr Relaxed(T value = T{}) noexcept : value_(value) {}
    Relaxed(const Relaxed& other) noexcept : value_(other.load()) {}
    Relaxed& operator=(const Relaxed& other) noexcept
    {
        store(other.load());
        return *this;
    }
    Relaxed& operator=(T value) noexcept
    {
        store(value);
        return *this;
    }
    operator T() const noexcept { return load(); }

    T load() const noexcept { return value_.load(std::memory_order_relaxed); }
    void store(T value) noexcept { value_.store(value, std::memory_order_relaxed); }

private:
    std::atomic<T> value_;
};

}  // namespace nimbra
