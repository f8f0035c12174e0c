// Counts the heap allocations a thread makes while a test asks for it. This
// header replaces the global operator new and delete, which a program may do
// only once: include it from exactly one source file of a test program (a second
// one fails to link with duplicate definitions).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

namespace zel::test {

// Counting is per thread and only while a test asks for it.
inline thread_local bool counting = false;
inline std::atomic<long> allocations{0};

// Counts this thread's allocations for as long as it lives.
struct CountAllocations {
    CountAllocations() { counting = true; }
    ~CountAllocations() { counting = false; }
    CountAllocations(const CountAllocations&) = delete;
    CountAllocations& operator=(const CountAllocations&) = delete;
};

inline void* countedAllocate(std::size_t n) {
    if (counting) allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(n == 0 ? 1 : n)) return p;
    throw std::bad_alloc();
}

} // namespace zel::test

void* operator new(std::size_t n) {
    return zel::test::countedAllocate(n);
}
void* operator new[](std::size_t n) {
    return zel::test::countedAllocate(n);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
