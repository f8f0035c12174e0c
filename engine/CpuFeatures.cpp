#include "engine/CpuFeatures.h"

namespace zel {

namespace {

bool detectAvx2() noexcept {
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
    __builtin_cpu_init(); // needed before the first query from a static initializer
    // The wide paths fuse multiplies into adds: they need FMA as well.
    return __builtin_cpu_supports("avx2") != 0 && __builtin_cpu_supports("fma") != 0;
#else
    return false;
#endif
}

// Set while the library loads, before any audio runs.
const bool kHasAvx2 = detectAvx2();

} // namespace

bool cpuHasAvx2() noexcept {
    return kHasAvx2;
}

} // namespace zel
