// Whether the per-sample code takes its wide paths (four values to an AVX2
// register) or the baseline ones (two to an SSE2 register). Both compute the
// same values, to the rounding of the wide paths' fused multiply-adds; the wide
// ones are taken where the processor has AVX2 and FMA. A test may
// ask for the baseline paths on such a processor, to hold the two against each
// other.
#pragma once

#include "engine/CpuFeatures.h"

#include <atomic>

namespace zel {

namespace wide_paths_detail {
inline std::atomic<bool> baselineForced{false};
} // namespace wide_paths_detail

inline bool useWidePaths() noexcept {
    return cpuHasAvx2() && !wide_paths_detail::baselineForced.load(std::memory_order_relaxed);
}

// Tests only: the baseline paths also where AVX2 is there (true), or the
// fastest paths again (false). Takes effect at the next sample.
inline void forceBaselinePaths(bool on) noexcept {
    wide_paths_detail::baselineForced.store(on, std::memory_order_relaxed);
}

} // namespace zel
