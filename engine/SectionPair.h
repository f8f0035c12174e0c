// Two settled BiquadFilter sections (see BiquadFilter::settled) run side by side
// in one SSE2 register, lane 0 the first and lane 1 the second: per lane the
// same operations in the same order as BiquadFilter::process, so the same
// values to the bit. It takes the sections' coefficients and histories when
// made and hands the histories back in store(), so a run of samples keeps them
// in registers. Audio-thread object, made on the stack for one run.
#pragma once

#include "engine/BiquadFilter.h"
#include "engine/OnePole.h"

namespace zel {

// The registers two sections share for a run: their target coefficients and
// histories side by side, taken when made and handed back in store().
class SectionPairRegisters {
public:
    using Pair = double __attribute__((vector_size(16)));

    SectionPairRegisters(BiquadFilter& a, BiquadFilter& b) noexcept : a_(a), b_(b) {
        const BiquadCoefficients& ca = a.target();
        const BiquadCoefficients& cb = b.target();
        b0_ = Pair{ca.b0, cb.b0};
        b1_ = Pair{ca.b1, cb.b1};
        b2_ = Pair{ca.b2, cb.b2};
        a1_ = Pair{ca.a1, cb.a1};
        a2_ = Pair{ca.a2, cb.a2};
        const BiquadState& sa = a.state();
        const BiquadState& sb = b.state();
        x1_ = Pair{sa.x1, sb.x1};
        x2_ = Pair{sa.x2, sb.x2};
        y1_ = Pair{sa.y1, sb.y1};
        y2_ = Pair{sa.y2, sb.y2};
    }
    SectionPairRegisters(const SectionPairRegisters&) = delete;
    SectionPairRegisters& operator=(const SectionPairRegisters&) = delete;

    // Hands the histories back to the two sections.
    void store() noexcept {
        a_.setHistory(x1_[0], x2_[0], y1_[0], y2_[0]);
        b_.setHistory(x1_[1], x2_[1], y1_[1], y2_[1]);
    }

protected:
    // The histories one sample on, y the new output.
    void shift(Pair x, Pair y) noexcept {
        x2_ = x1_;
        x1_ = x;
        y2_ = y1_;
        y1_ = y;
    }

    BiquadFilter& a_;
    BiquadFilter& b_;
    Pair b0_, b1_, b2_, a1_, a2_;
    Pair x1_, x2_, y1_, y2_;
};

class SectionPair : public SectionPairRegisters {
public:
    using SectionPairRegisters::SectionPairRegisters;

    static bool settled(const BiquadFilter& a, const BiquadFilter& b) noexcept {
        return a.settled() && b.settled();
    }

    Pair process(Pair x) noexcept {
        const Pair history = b1_ * x1_ + b2_ * x2_ - a1_ * y1_ - a2_ * y2_;
        Pair y = b0_ * x + history;
        y = y + kRecursionGuard;
        y = y - kRecursionGuard;
        shift(x, y);
        return y;
    }
};

// Two sections run side by side as BiquadFilter::processPlain runs each: the
// target coefficients whatever the section's state, the terms summed in
// processPlain's order and the cascade's guard.
class PlainSectionPair : public SectionPairRegisters {
public:
    using SectionPairRegisters::SectionPairRegisters;

    Pair process(Pair x) noexcept {
        Pair y = b0_ * x + b1_ * x1_ + b2_ * x2_ - a1_ * y1_ - a2_ * y2_;
        y = y + kCascadeGuard;
        y = y - kCascadeGuard;
        shift(x, y);
        return y;
    }
};

} // namespace zel
