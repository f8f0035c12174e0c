// Counts the heap allocations a thread makes while a test asks for it, and keeps
// the bytes held through operator new by the whole program at all times. This
// header replaces the global operator new and delete, which a program may do
// only once: include it from exactly one source file of a test program (a second
// one fails to link with duplicate definitions).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

#include <malloc.h>

namespace zel::test {

// Counting is per thread and only while a test asks for it.
inline thread_local bool counting = false;
inline std::atomic<long> allocations{0};

// Every thread, always: allocations made, bytes held now and the most held since
// the last resetPeak (usable sizes as the allocator reports them).
inline std::atomic<long> allAllocations{0};
inline std::atomic<long long> liveBytes{0};
inline std::atomic<long long> peakBytes{0};

inline void resetPeak() {
    peakBytes.store(liveBytes.load());
}

// Counts this thread's allocations for as long as it lives.
struct CountAllocations {
    CountAllocations() { counting = true; }
    ~CountAllocations() { counting = false; }
    CountAllocations(const CountAllocations&) = delete;
    CountAllocations& operator=(const CountAllocations&) = delete;
};

inline void* countedAllocate(std::size_t n) {
    if (counting) allocations.fetch_add(1, std::memory_order_relaxed);
    void* p = std::malloc(n == 0 ? 1 : n);
    if (p == nullptr) throw std::bad_alloc();
    allAllocations.fetch_add(1, std::memory_order_relaxed);
    const auto size = static_cast<long long>(malloc_usable_size(p));
    const long long held = liveBytes.fetch_add(size) + size;
    long long peak = peakBytes.load(std::memory_order_relaxed);
    while (held > peak && !peakBytes.compare_exchange_weak(peak, held)) {
    }
    return p;
}

inline void countedFree(void* p) noexcept {
    if (p == nullptr) return;
    liveBytes.fetch_sub(static_cast<long long>(malloc_usable_size(p)));
    std::free(p);
}

} // namespace zel::test

void* operator new(std::size_t n) {
    return zel::test::countedAllocate(n);
}
void* operator new[](std::size_t n) {
    return zel::test::countedAllocate(n);
}
void operator delete(void* p) noexcept {
    zel::test::countedFree(p);
}
void operator delete[](void* p) noexcept {
    zel::test::countedFree(p);
}
void operator delete(void* p, std::size_t) noexcept {
    zel::test::countedFree(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    zel::test::countedFree(p);
}
