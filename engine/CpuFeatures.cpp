#include "engine/CpuFeatures.h"

#include <cstdlib>

namespace zel {

namespace {

// ZEL_CPU_BASELINE set to anything but "0" keeps every run on the SSE2 paths, so
// the code the 32-bit module and older processors run is tested on this machine.
bool baselineForced() noexcept {
    const char* value = std::getenv("ZEL_CPU_BASELINE");
    return value != nullptr && *value != '\0' && *value != '0';
}

bool detectAvx2() noexcept {
    if (baselineForced()) return false;
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
