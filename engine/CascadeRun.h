// One run of samples through a MultiFilter, kept together with what it started
// from: the cascade's state and tuning before, the samples, the values and the
// state after. A second cascade found in exactly that starting state and fed the
// very same samples would compute the very same values, so it takes them (and
// the state after) instead: the drum's main and cross units filter the same
// input with the same cascade, one run after the other.
//
// A kept run is a fact about the arithmetic, not about its owner: it stays true
// whatever happens to the cascade it came from afterwards (cleared, re-tuned,
// run on), so it never has to be dropped.
//
// Audio thread; no allocation.
#pragma once

#include "engine/MultiFilter.h"

namespace zel {

class CascadeRun {
public:
    static constexpr int kMaxSamples = 64;

    // A run of `filter` over x[0..n), 0 <= n <= kMaxSamples: begin keeps the
    // filter's state and the samples and returns where the caller puts the
    // filter's values, sample by sample (the caller runs the filter, so its
    // recursion can overlap other work); finish keeps the state the run left.
    // Until finish, there is no run to reuse.
    double* begin(const MultiFilter& filter, const double* x, int n) noexcept;
    void finish(const MultiFilter& filter) noexcept;
    // When `filter` is in the state and tuning the kept run started from and
    // x[0..n) are its samples (bit for bit), leaves `filter` as the run left its
    // own and returns the run's values; otherwise returns null and leaves
    // `filter` as it is.
    const double* reuse(MultiFilter& filter, const double* x, int n) const noexcept;

private:
    int count_ = -1;   // the kept run's length; -1: none
    int started_ = -1; // the length of the run begun
    MultiFilter before_, after_;
    alignas(32) double input_[kMaxSamples] = {};
    alignas(32) double values_[kMaxSamples] = {};
};

} // namespace zel
