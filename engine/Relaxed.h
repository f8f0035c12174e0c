// A value shared between the audio thread and the threads that set parameters.
// Every access is a relaxed atomic load or store: no ordering, no locks, no data
// race. Per-sample code reads such a field once into a local.
#pragma once

#include <atomic>

namespace zel {

template <typename T> class Relaxed {
public:
    Relaxed(T initial = T{}) noexcept : value(initial) {}
    Relaxed(const Relaxed& other) noexcept : value(other.load()) {}
    Relaxed& operator=(const Relaxed& other) noexcept {
        store(other.load());
        return *this;
    }
    Relaxed& operator=(T x) noexcept {
        store(x);
        return *this;
    }
    operator T() const noexcept { return load(); }
    T load() const noexcept { return value.load(std::memory_order_relaxed); }
    void store(T x) noexcept { value.store(x, std::memory_order_relaxed); }

private:
    static_assert(std::atomic<T>::is_always_lock_free);
    std::atomic<T> value;
};

} // namespace zel
