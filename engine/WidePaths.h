// Whether the per-sample code takes its wide paths (four values to an AVX2
// register) or the baseline ones (two to an SSE2 register). Both compute the
// same values; the wide ones are taken where the processor has AVX2. A test may
// ask for the baseline paths on such a processor, to hold the two against each
// other.
#pragma once

namespace zel {

bool useWidePaths() noexcept;

// Tests only: the baseline paths also where AVX2 is there (true), or the
// fastest paths again (false). Takes effect at the next sample.
void forceBaselinePaths(bool on) noexcept;

} // namespace zel
