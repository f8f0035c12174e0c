#include "engine/WidePaths.h"

#include "engine/CpuFeatures.h"

#include <atomic>

namespace zel {

namespace {

std::atomic<bool> baselineForced{false};

} // namespace

bool useWidePaths() noexcept {
    return cpuHasAvx2() && !baselineForced.load(std::memory_order_relaxed);
}

void forceBaselinePaths(bool on) noexcept {
    baselineForced.store(on, std::memory_order_relaxed);
}

} // namespace zel
