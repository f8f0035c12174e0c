// A unit's tables that belong to one rate, held twice: the set in use and a spare
// set that the audio thread builds ahead, a few points per block, for the rate
// the next rate change brings while the output fades to dry. The rate change then
// only swaps the two, so the block that carries it costs little more than its
// neighbours. Switching back to the previous rate finds that set still whole.
//
// Set: void begin(double rate); int extend(int budget) (computes up to budget
// points, returns how many); bool complete() const. Audio-thread object.
#pragma once

#include <array>
#include <limits>

namespace zel {

template <typename Set> class StagedTables {
public:
    // Applies `f` to both sets (their fixed layout, before any rate).
    template <typename F> void configure(F f) {
        f(sets_[0]);
        f(sets_[1]);
    }

    const Set& live() const { return sets_[live_]; }
    double liveRate() const { return rates_[live_]; }

    // Builds up to `budget` points of the spare set for `rate`; returns the points
    // computed (0 when the set in use already belongs to the rate).
    int prepare(double rate, int budget) {
        if (rate == rates_[live_] || budget <= 0) return 0;
        const int spare = 1 - live_;
        if (rate != rates_[spare]) {
            sets_[spare].begin(rate);
            rates_[spare] = rate;
        }
        return sets_[spare].complete() ? 0 : sets_[spare].extend(budget);
    }

    // The rate change: the sets for `rate` go into use, finished here if the
    // blocks before did not get to the end.
    void use(double rate) {
        if (rate == rates_[live_]) return;
        prepare(rate, std::numeric_limits<int>::max());
        live_ = 1 - live_;
    }

private:
    std::array<Set, 2> sets_{};
    std::array<double, 2> rates_{-1.0, -1.0};
    int live_ = 0;
};

} // namespace zel
