// The directivity sections of a unit's rays side by side: one gliding filter
// section per ray, each computing exactly what a BiquadFilter's gliding process
// computes for an enabled section (its glide steps, the coefficients rebuilt from
// the moving roots, the recursion and its guard), but stored value by value
// across the rays, four rays to a vector register where the processor has AVX2
// and two otherwise (SSE2, the baseline of both builds). One pass then does the
// same step for all rays. The AVX2 lanes fuse the recursion's multiplies into
// its adds (rounded once, not twice), so they agree with the filter to rounding.
// Audio-thread object.
#pragma once

#include "engine/BiquadFilter.h"
#include "engine/OnePole.h"
#include "engine/WidePaths.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <immintrin.h>

namespace zel {

template <int N> class GlidingSections {
public:
    static_assert(N % 4 == 0, "rays go two or four to a register");
    static constexpr int kLanes = N;

    // A section at rest: coefficients c, no glide, cleared history; a glide over
    // `glideLength` samples follows each later target.
    void reset(int lane, const BiquadCoefficients& c, int32_t glideLength) noexcept {
        glideLength_ = glideLength;
        inverseLength_ = glideLength > 0 ? 1.0 / glideLength : 0.0;
        setCoefficients(lane, c);
        double values[BiquadFilter::kGlidedValues];
        BiquadFilter::glideValuesOf(c, values);
        for (int k = 0; k < BiquadFilter::kGlidedValues; ++k) {
            goal_[k][lane] = now_[k][lane] = values[k];
            step_[k][lane] = 0.0;
        }
        count_ = 0;
        for (int slot = 0; slot < 2; ++slot) xs_[slot][lane] = ys_[slot][lane] = 0.0;
    }

    // New target coefficients: the section glides to them over the glide length
    // (BiquadFilter's setTarget on a section that is not in immediate mode). The
    // sections share one glide count: the unit sets its rays' targets on the same
    // samples.
    void setTarget(int lane, const BiquadCoefficients& c) noexcept {
        setCoefficients(lane, c);
        double values[BiquadFilter::kGlidedValues];
        BiquadFilter::glideValuesOf(c, values);
        const double inv = inverseLength_;
        for (int k = 0; k < BiquadFilter::kGlidedValues; ++k) {
            goal_[k][lane] = values[k];
            step_[k][lane] = (values[k] - now_[k][lane]) * inv;
        }
        count_ = glideLength_;
        if (glideLength_ <= 0) snap(lane);
    }

    // The two ways through setTargets and process: two lanes to a register
    // (SSE2) or four (AVX2). The arithmetic is the same.
    enum class Path { Narrow, Wide };
    static Path fastestPath() noexcept { return useWidePaths() ? Path::Wide : Path::Narrow; }

    // New targets for the lanes with use[lane] set, exactly as setTarget would
    // set them one by one, two or four lanes at a time. The others keep their
    // targets and stop where they are (see freeze).
    void setTargets(const BiquadCoefficients* c, const bool* use) noexcept {
        setTargets(c, use, fastestPath());
    }
    // The same on a path by name (the tests hold the paths against each other).
    void setTargets(const BiquadCoefficients* c, const bool* use, Path path) noexcept {
        bool any = false;
        for (int lane = 0; lane < N; ++lane) {
            if (!use[lane]) continue;
            setCoefficients(lane, c[lane]);
            any = true;
        }
        if (any) glideToTargets(use, path);
    }

    // Target coefficients lane by lane (a0 is 1).
    struct Targets {
        alignas(32) double b0[N], b1[N], b2[N], a1[N], a2[N];
    };
    // setTargets with the targets given lane by lane.
    void setTargets(const Targets& t, const bool* use) noexcept {
        Glides g;
        glidesOf(t, g);
        setTargets(t, g, use);
    }

    // The glided values (BiquadFilter::glideValuesOf: roots and gain) of targets
    // lane by lane. They depend on the targets alone, so a unit can compute them
    // ahead of the sample that takes the targets; the square roots and divisions
    // then leave the sample's own work.
    struct Glides {
        alignas(32) double v[BiquadFilter::kGlidedValues][N];
    };
    static void glidesOf(const Targets& t, Glides& g) noexcept {
        if (fastestPath() == Path::Wide)
            glidesOfWide(t, g);
        else
            glidesOfNarrow(t, g);
    }
    // setTargets with the targets' glided values g (from glidesOf) at hand.
    void setTargets(const Targets& t, const Glides& g, const bool* use) noexcept {
        setTargets(t, g, use, fastestPath());
    }
    // The same on a path by name: the targets too are taken two or four lanes at
    // a time.
    void setTargets(const Targets& t, const Glides& g, const bool* use, Path path) noexcept {
        bool any = false;
        for (int lane = 0; lane < N; ++lane) any |= use[lane];
        if (any) glideToValues(t, g, use, path);
    }

    // The lane stops gliding where it is. The lanes share one glide count, which
    // the other lanes' targets keep restarting: a lane the unit leaves out of its
    // targets (a ray it does not hear) is frozen, or it would step on for ever.
    void freeze(int lane) noexcept {
        for (int k = 0; k < BiquadFilter::kGlidedValues; ++k) step_[k][lane] = 0.0;
    }

    // Finishes the glide (the lane's values reach their goals; the others stop
    // where they are).
    void snap(int lane) noexcept {
        for (int k = 0; k < BiquadFilter::kGlidedValues; ++k) now_[k][lane] = goal_[k][lane];
        endGlide();
    }

    // One sample for every lane: y[i] from x[i]. Four lanes to a register where
    // the processor has AVX2, two otherwise; the arithmetic is the same.
    void process(const double* x, double* y) noexcept { process(x, y, fastestPath()); }
    void process(const double* x, double* y, Path path) noexcept {
        const bool gliding = count_ > 0;
        if (gliding) --count_;
        if (path == Path::Wide)
            processWide(x, y, gliding);
        else
            processNarrow(x, y, gliding);
        if (gliding && count_ == 0) endGlide();
    }

    // n samples in a row that take no new targets: sample s's inputs at
    // x[s N], its outputs into y[s N]. The recursions' history stays in
    // registers over the samples (loaded and stored once) and the glide's count
    // is taken once per stretch; per sample and lane the operations are
    // process's, so the outputs and the state end the same to the bit.
    void processSpan(const double* x, double* y, int n) noexcept {
        processSpan(x, y, n, fastestPath());
    }
    void processSpan(const double* x, double* y, int n, Path path) noexcept {
        for (int done = 0; done < n;) {
            // The glide's count splits the samples where the glide ends.
            const bool gliding = count_ > 0;
            const int length = gliding ? std::min(n - done, static_cast<int>(count_)) : n - done;
            if (path == Path::Wide)
                spanWide(x + done * N, y + done * N, length, gliding);
            else
                spanNarrow(x + done * N, y + done * N, length, gliding);
            countDown(gliding, length);
            done += length;
        }
    }

    // Two banks in a row, one sample: a's outputs are b's inputs (y = b(a(x)),
    // as a.process and b.process one after the other give it, to the bit). The
    // lanes are independent, so each group of lanes goes through both banks at
    // once and a's outputs stay in registers.
    static void processPair(GlidingSections& a, GlidingSections& b, const double* x,
                            double* y) noexcept {
        processPair(a, b, x, y, fastestPath());
    }
    static void processPair(GlidingSections& a, GlidingSections& b, const double* x, double* y,
                            Path path) noexcept {
        if (path == Path::Wide)
            pairWide(a, b, x, y);
        else
            pairNarrow(a, b, x, y);
    }

    // processPair taking each group of Vec lanes' inputs from take(i, in) and
    // handing their outputs to then(i, out) (the lanes from i on) instead of
    // loading and storing them, for a caller's own wide or narrow path that
    // goes on with them in registers.
    template <typename Vec, typename Take, typename Then>
    [[gnu::always_inline]] static inline void
    processPairThen(GlidingSections& a, GlidingSections& b, Take&& take, Then&& then) noexcept {
        pair<Vec>(a, b, take, then);
    }

    // processPair over n samples in a row that take no new targets, lane
    // group by lane group: each group of Vec lanes goes through bank a over
    // the samples (its glided values and history in registers, loaded and
    // stored once), then through bank b, instead of every sample loading and
    // storing both banks' state. Per sample and lane the operations are
    // processPair's, so the outputs and the banks' states end the same to the
    // bit. The caller's Group (default-constructed, one per group of lanes)
    // carries its own state along: g.begin(args, i) for the lanes from i on,
    // g.take(args, j, in) and g.then(args, j, out) for sample j of the n,
    // g.end(args, i) after the last.
    template <typename Vec, typename Group, typename Args>
    [[gnu::always_inline]] static inline void
    processPairSpan(GlidingSections& a, GlidingSections& b, int n, Args& args) noexcept {
        for (int done = 0; done < n;) {
            // The glides' counts split the samples where either glide ends.
            const bool glidingA = a.count_ > 0;
            const bool glidingB = b.count_ > 0;
            int length = std::min(n - done, kSpanChunk);
            if (glidingA) length = std::min(length, static_cast<int>(a.count_));
            if (glidingB) length = std::min(length, static_cast<int>(b.count_));
            if (glidingA && glidingB)
                spanPair<Vec, true, true, Group>(a, b, done, length, args);
            else if (glidingA)
                spanPair<Vec, true, false, Group>(a, b, done, length, args);
            else if (glidingB)
                spanPair<Vec, false, true, Group>(a, b, done, length, args);
            else
                spanPair<Vec, false, false, Group>(a, b, done, length, args);
            a.countDown(glidingA, length);
            b.countDown(glidingB, length);
            done += length;
        }
    }

    // The lane's target coefficients (a0, the normalizer, is not kept: 1).
    BiquadCoefficients target(int lane) const noexcept {
        return {1.0,
                targets_.a1[lane],
                targets_.a2[lane],
                targets_.b0[lane],
                targets_.b1[lane],
                targets_.b2[lane]};
    }
    int32_t glideCount() const noexcept { return count_; }

private:
    enum { kZaRe, kZaIm, kZbRe, kZbIm, kPaRe, kPaIm, kPbRe, kPbIm, kGain };
    static_assert(BiquadFilter::kGlidedValues == kGain + 1);

    // The glides toward the lanes' targets (use marks the lanes with new ones),
    // their glided values computed on the way.
    void glideToTargets(const bool* use, Path path) noexcept {
        if (path == Path::Wide)
            glideToTargetsWide(use);
        else
            glideToTargets<Vec2>(use);
        startGlide(use);
    }
    // The targets t of the lanes use marks, and the glides toward them with
    // their glided values g at hand.
    void glideToValues(const Targets& t, const Glides& g, const bool* use, Path path) noexcept {
        if (path == Path::Wide)
            glideToValuesWide(t, g, use);
        else
            glideToValues<Vec2>(t, g, use);
        startGlide(use);
    }
    void startGlide(const bool* use) noexcept {
        count_ = glideLength_;
        if (glideLength_ <= 0) {
            for (int lane = 0; lane < N; ++lane)
                if (use[lane]) snap(lane);
        }
    }

    [[gnu::target("avx2,fma"), gnu::flatten]] void processWide(const double* x, double* y,
                                                               bool gliding) noexcept {
        if (gliding)
            run<Vec4, true>(x, y);
        else
            run<Vec4, false>(x, y);
    }
    void processNarrow(const double* x, double* y, bool gliding) noexcept {
        if (gliding)
            run<Vec2, true>(x, y);
        else
            run<Vec2, false>(x, y);
    }

    [[gnu::target("avx2,fma"), gnu::flatten]] void spanWide(const double* x, double* y, int length,
                                                            bool gliding) noexcept {
        if (gliding)
            span<Vec4, true>(x, y, length);
        else
            span<Vec4, false>(x, y, length);
    }
    void spanNarrow(const double* x, double* y, int length, bool gliding) noexcept {
        if (gliding)
            span<Vec2, true>(x, y, length);
        else
            span<Vec2, false>(x, y, length);
    }
    // length samples of every lane, the groups of lanes side by side in each
    // sample (their recursions overlap), their histories in registers; the
    // glided values step in memory as process steps them. The history's slots
    // move on as length advanceHistory calls move them.
    template <typename Vec, bool Gliding>
    [[gnu::always_inline]] inline void span(const double* x, double* y, int length) noexcept {
        constexpr int W = sizeof(Vec) / sizeof(double);
        constexpr int G = N / W;
        constexpr size_t kBytes = sizeof(Vec);
        const int newest = newest_;
        Vec x1[G], x2[G], y1[G], y2[G];
#pragma GCC unroll 6
        for (int g = 0; g < G; ++g) {
            std::memcpy(&x1[g], &xs_[newest][g * W], kBytes);
            std::memcpy(&x2[g], &xs_[newest ^ 1][g * W], kBytes);
            std::memcpy(&y1[g], &ys_[newest][g * W], kBytes);
            std::memcpy(&y2[g], &ys_[newest ^ 1][g * W], kBytes);
        }
        for (int s = 0; s < length; ++s) {
#pragma GCC unroll 6 // the groups' recursions side by side
            for (int g = 0; g < G; ++g) {
                const int i = g * W;
                Vec in, out, b0, b1, b2, a1, a2;
                std::memcpy(&in, x + s * N + i, kBytes);
                coefficientsNow<Vec, Gliding>(i, b0, b1, b2, a1, a2);
                recursion<Vec, Gliding>(b0, b1, b2, a1, a2, in, x1[g], x2[g], y1[g], y2[g], out);
                x2[g] = x1[g];
                x1[g] = in;
                y2[g] = y1[g];
                y1[g] = out;
                std::memcpy(y + s * N + i, &out, kBytes);
            }
        }
        const int last = newest ^ (length & 1);
#pragma GCC unroll 6
        for (int g = 0; g < G; ++g) {
            std::memcpy(&xs_[last][g * W], &x1[g], kBytes);
            std::memcpy(&xs_[last ^ 1][g * W], &x2[g], kBytes);
            std::memcpy(&ys_[last][g * W], &y1[g], kBytes);
            std::memcpy(&ys_[last ^ 1][g * W], &y2[g], kBytes);
        }
        newest_ = last;
    }

    [[gnu::target("avx2,fma"), gnu::flatten]] static void
    pairWide(GlidingSections& a, GlidingSections& b, const double* x, double* y) noexcept {
        pair<Vec4>(a, b, Load<Vec4>{x}, Store<Vec4>{y});
    }
    static void pairNarrow(GlidingSections& a, GlidingSections& b, const double* x,
                           double* y) noexcept {
        pair<Vec2>(a, b, Load<Vec2>{x}, Store<Vec2>{y});
    }
    // Inputs from x, outputs into y.
    template <typename Vec> struct Load {
        const double* x;
        [[gnu::always_inline]] inline void operator()(int i, Vec& in) const noexcept {
            std::memcpy(&in, x + i, sizeof(Vec));
        }
    };
    template <typename Vec> struct Store {
        double* y;
        [[gnu::always_inline]] inline void operator()(int i, const Vec& out) const noexcept {
            std::memcpy(y + i, &out, sizeof(Vec));
        }
    };
    // process's glide counting for both banks around one pass through both;
    // take(i, in) gives the inputs, then(i, out) takes the outputs.
    template <typename Vec, typename Take, typename Then>
    [[gnu::always_inline]] static inline void pair(GlidingSections& a, GlidingSections& b,
                                                   Take&& take, Then&& then) noexcept {
        const bool glidingA = a.count_ > 0;
        const bool glidingB = b.count_ > 0;
        if (glidingA) --a.count_;
        if (glidingB) --b.count_;
        if (glidingA && glidingB)
            runPair<Vec, true, true>(a, b, take, then);
        else if (glidingA)
            runPair<Vec, true, false>(a, b, take, then);
        else if (glidingB)
            runPair<Vec, false, true>(a, b, take, then);
        else
            runPair<Vec, false, false>(a, b, take, then);
        if (glidingA && a.count_ == 0) a.endGlide();
        if (glidingB && b.count_ == 0) b.endGlide();
    }

    // The samples a span takes at a time (its bank a outputs wait for bank b
    // on the stack).
    static constexpr int kSpanChunk = 32;
    // process's glide count after n samples (gliding: the count was above 0
    // and at least n).
    void countDown(bool gliding, int n) noexcept {
        if (!gliding) return;
        count_ -= n;
        if (count_ == 0) endGlide();
    }
    // length samples from the span's sample first on, both banks, group by
    // group.
    template <typename Vec, bool GlidingA, bool GlidingB, typename Group, typename Args>
    [[gnu::always_inline]] static inline void spanPair(GlidingSections& a, GlidingSections& b,
                                                       int first, int length, Args& args) noexcept {
        constexpr int W = sizeof(Vec) / sizeof(double);
        for (int i = 0; i < N; i += W) {
            Group g;
            g.begin(args, i);
            Vec middle[kSpanChunk];
            a.template spanLanes<Vec, GlidingA>(
                i, length,
                [&](int s, Vec& in) __attribute__((always_inline)) { g.take(args, first + s, in); },
                [&](int s, const Vec& out) __attribute__((always_inline)) { middle[s] = out; });
            b.template spanLanes<Vec, GlidingB>(
                i, length, [&](int s, Vec& in) __attribute__((always_inline)) { in = middle[s]; },
                [&](int s, const Vec& out)
                    __attribute__((always_inline)) { g.then(args, first + s, out); });
            g.end(args, i);
        }
        a.newest_ ^= length & 1;
        b.newest_ ^= length & 1;
    }
    // The lanes from i on over length samples: in from take(s, in), out to
    // then(s, out), the glided values and the history in registers. The slots
    // of the history are left as length advanceHistory calls leave them (the
    // caller moves newest_ on).
    template <typename Vec, bool Gliding, typename Take, typename Then>
    [[gnu::always_inline]] inline void spanLanes(int i, int length, Take&& take,
                                                 Then&& then) noexcept {
        constexpr size_t kBytes = sizeof(Vec);
        const int newest = newest_;
        Vec x1, x2, y1, y2;
        std::memcpy(&x1, &xs_[newest][i], kBytes);
        std::memcpy(&x2, &xs_[newest ^ 1][i], kBytes);
        std::memcpy(&y1, &ys_[newest][i], kBytes);
        std::memcpy(&y2, &ys_[newest ^ 1][i], kBytes);
        Vec now[BiquadFilter::kGlidedValues];
        Vec b0, b1, b2, a1, a2;
        if constexpr (Gliding) {
#pragma GCC unroll 9 // straight into registers
            for (int k = 0; k < BiquadFilter::kGlidedValues; ++k)
                std::memcpy(&now[k], &now_[k][i], kBytes);
        } else {
            targetsOf(i, b0, b1, b2, a1, a2);
        }
#pragma GCC unroll 2 // the history moves over without copies
        for (int s = 0; s < length; ++s) {
            Vec in, out;
            take(s, in);
            if constexpr (Gliding) {
#pragma GCC unroll 9
                for (int k = 0; k < BiquadFilter::kGlidedValues; ++k) {
                    Vec step;
                    std::memcpy(&step, &step_[k][i], kBytes);
                    now[k] = now[k] + step;
                }
                glidedCoefficients(now, b0, b1, b2, a1, a2);
            }
            recursion<Vec, Gliding>(b0, b1, b2, a1, a2, in, x1, x2, y1, y2, out);
            x2 = x1;
            x1 = in;
            y2 = y1;
            y1 = out;
            then(s, out);
        }
        if constexpr (Gliding) {
#pragma GCC unroll 9
            for (int k = 0; k < BiquadFilter::kGlidedValues; ++k)
                std::memcpy(&now_[k][i], &now[k], kBytes);
        }
        const int last = newest ^ (length & 1);
        std::memcpy(&xs_[last][i], &x1, kBytes);
        std::memcpy(&xs_[last ^ 1][i], &x2, kBytes);
        std::memcpy(&ys_[last][i], &y1, kBytes);
        std::memcpy(&ys_[last ^ 1][i], &y2, kBytes);
    }

    using Vec2 = double __attribute__((vector_size(16)));
    using Vec4 = double __attribute__((vector_size(32)));
    // Lane masks of a vector type (all bits set or clear per lane); m ? a : b
    // picks a's lanes where m is set, b's elsewhere, bit for bit.
    template <typename Vec> using MaskOf = decltype(Vec{} < Vec{});

    // The glide's goals and steps of the lanes from i on that taken marks, toward
    // their glided values (values, or g's where g is given); the other lanes keep
    // their goals and stop.
    template <typename Vec>
    [[gnu::always_inline]] inline void glideLanes(int i, const Vec* values, const Glides* g,
                                                  const MaskOf<Vec>& taken) noexcept {
        const double inv = inverseLength_;
        const Vec zero = {};
        for (int k = 0; k < BiquadFilter::kGlidedValues; ++k) {
            Vec value, goal, now;
            if (g)
                std::memcpy(&value, &g->v[k][i], sizeof value);
            else
                value = values[k];
            std::memcpy(&goal, &goal_[k][i], sizeof goal);
            std::memcpy(&now, &now_[k][i], sizeof now);
            goal = taken ? value : goal;
            const Vec step = taken ? (value - now) * inv : zero;
            std::memcpy(&goal_[k][i], &goal, sizeof goal);
            std::memcpy(&step_[k][i], &step, sizeof step);
        }
    }
    template <typename Vec>
    [[gnu::always_inline]] inline void glideToTargets(const bool* use) noexcept {
        constexpr int W = sizeof(Vec) / sizeof(double);
        for (int i = 0; i < N; i += W) {
            Vec values[BiquadFilter::kGlidedValues];
            glideValuesOf(targets_, i, values);
            MaskOf<Vec> taken;
            takenLanes<Vec>(use, i, taken);
            glideLanes<Vec>(i, values, nullptr, taken);
        }
    }
    template <typename Vec>
    [[gnu::always_inline]] inline void glideToValues(const Targets& t, const Glides& g,
                                                     const bool* use) noexcept {
        using Mask = MaskOf<Vec>;
        constexpr int W = sizeof(Vec) / sizeof(double);
        for (int i = 0; i < N; i += W) {
            Mask taken;
            takenLanes<Vec>(use, i, taken);
            takeTargets<Vec>(t.b0, targets_.b0, i, taken);
            takeTargets<Vec>(t.b1, targets_.b1, i, taken);
            takeTargets<Vec>(t.b2, targets_.b2, i, taken);
            takeTargets<Vec>(t.a1, targets_.a1, i, taken);
            takeTargets<Vec>(t.a2, targets_.a2, i, taken);
            glideLanes<Vec>(i, nullptr, &g, taken);
        }
    }
    // The lanes from i on that use marks, as a mask (by reference, as below).
    template <typename Vec>
    [[gnu::always_inline]] static inline void takenLanes(const bool* use, int i,
                                                         MaskOf<Vec>& taken) noexcept {
        constexpr int W = sizeof(Vec) / sizeof(double);
        taken = MaskOf<Vec>{};
        for (int n = 0; n < W; ++n) taken[n] = use[i + n] ? -1 : 0;
    }
    // One coefficient of the lanes from i on: from, where taken marks the lane,
    // into to; the other lanes keep theirs. The mask comes by reference: its
    // callers' AVX target does not reach this template's signature.
    template <typename Vec>
    [[gnu::always_inline]] static inline void takeTargets(const double* from, double* to, int i,
                                                          const MaskOf<Vec>& taken) noexcept {
        Vec given, kept;
        std::memcpy(&given, from + i, sizeof given);
        std::memcpy(&kept, to + i, sizeof kept);
        kept = taken ? given : kept;
        std::memcpy(to + i, &kept, sizeof kept);
    }
    [[gnu::target("avx2,fma")]] void glideToTargetsWide(const bool* use) noexcept {
        glideToTargets<Vec4>(use);
    }
    [[gnu::target("avx2,fma")]] void glideToValuesWide(const Targets& t, const Glides& g,
                                                       const bool* use) noexcept {
        glideToValues<Vec4>(t, g, use);
    }

    // The glided values of every lane of t, W lanes at a time.
    template <typename Vec>
    [[gnu::always_inline]] static inline void glides(const Targets& t, Glides& g) noexcept {
        constexpr int W = sizeof(Vec) / sizeof(double);
        for (int i = 0; i < N; i += W) {
            Vec values[BiquadFilter::kGlidedValues];
            glideValuesOf(t, i, values);
#pragma GCC unroll 9 // straight stores from the registers
            for (int k = 0; k < BiquadFilter::kGlidedValues; ++k)
                std::memcpy(&g.v[k][i], &values[k], sizeof(Vec));
        }
    }
    [[gnu::target("avx2,fma")]] static void glidesOfWide(const Targets& t, Glides& g) noexcept {
        glides<Vec4>(t, g);
    }
    static void glidesOfNarrow(const Targets& t, Glides& g) noexcept {
        glides<Vec2>(t, g);
    }

    // BiquadFilter::glideValuesOf for the target coefficients of the lanes from
    // i on, with the same operations: the roots of the numerator (none for b0 =
    // 0) and the denominator, real or complex by the sign of the discriminant.
    template <typename Vec>
    [[gnu::always_inline]] static inline void glideValuesOf(const Targets& c, int i,
                                                            Vec* values) noexcept {
        using Mask = MaskOf<Vec>;
        Vec b0, b1, b2, a1, a2;
        std::memcpy(&b0, &c.b0[i], sizeof b0);
        std::memcpy(&b1, &c.b1[i], sizeof b1);
        std::memcpy(&b2, &c.b2[i], sizeof b2);
        std::memcpy(&a1, &c.a1[i], sizeof a1);
        std::memcpy(&a2, &c.a2[i], sizeof a2);
        const Vec zero = {};

        const Vec D = b1 * b1 - 4.0 * b0 * b2;
        const Vec twoB0 = 2.0 * b0;
        const Mask realZeros = D >= 0.0;
        Vec s = realZeros ? D : -D;
        squareRoot(s);
        // Three divisions instead of five: each lane picks its numerator before
        // dividing, and -s / twoB0 is -(s / twoB0) bit for bit (division is
        // symmetric in sign, and so is its rounding).
        const Vec zaRe = (realZeros ? -b1 - s : -b1) / twoB0;
        const Vec zbRe = (realZeros ? s - b1 : -b1) / twoB0;
        const Vec zIm = s / twoB0;
        const Mask hasZeros = b0 != 0.0;
        values[kZaRe] = hasZeros ? zaRe : zero;
        values[kZaIm] = hasZeros ? (realZeros ? zero : -zIm) : zero;
        values[kZbRe] = hasZeros ? zbRe : zero;
        values[kZbIm] = hasZeros ? (realZeros ? zero : zIm) : zero;

        const Vec E = a1 * a1 - 4.0 * a2;
        const Mask realPoles = E >= 0.0;
        Vec t = realPoles ? E : -E;
        squareRoot(t);
        const Vec pRe = -a1 * 0.5;
        values[kPaRe] = realPoles ? (-a1 - t) * 0.5 : pRe;
        values[kPaIm] = realPoles ? zero : -t * 0.5;
        values[kPbRe] = realPoles ? (t - a1) * 0.5 : pRe;
        values[kPbIm] = realPoles ? zero : t * 0.5;
        values[kGain] = b0;
    }

    // The square root of every lane, in place, two lanes to an SSE2 square
    // root or four to an AVX one (std::sqrt's value: correctly rounded every
    // way). The wide one takes its vector by reference, as plusProduct does.
    [[gnu::always_inline]] static inline void squareRoot(Vec2& v) noexcept {
        v = _mm_sqrt_pd(v);
    }
    [[gnu::target("avx2,fma")]] static inline void squareRoot(Vec4& v) noexcept {
        v = _mm256_sqrt_pd(v);
    }

    // The recursion's history as one sample sees it: the last input and output
    // (x1s, y1s) and the ones before (x2s, y2s), whose slots take this sample's.
    struct History {
        const double* x1s;
        const double* y1s;
        double* x2s;
        double* y2s;
    };
    // This sample's history; the two samples take turns in two slots: the
    // older one's slot takes the new sample, and the newest moves over (no
    // copies).
    History advanceHistory() noexcept {
        const int newest = newest_;
        newest_ = newest ^ 1;
        return {xs_[newest], ys_[newest], xs_[newest ^ 1], ys_[newest ^ 1]};
    }

    // As many lanes at a time as Vec holds. Vectors are read and written with
    // memcpy (no helper takes or returns one by value: the wide ones would
    // cross a call boundary compiled without AVX).
    template <typename Vec, bool Gliding>
    [[gnu::always_inline]] inline void run(const double* x, double* y) noexcept {
        constexpr int W = sizeof(Vec) / sizeof(double);
        const History h = advanceHistory();
#pragma GCC unroll 4 // the lanes' recursions side by side
        for (int i = 0; i < N; i += W) {
            Vec in, out;
            std::memcpy(&in, x + i, sizeof(Vec));
            lanes<Vec, Gliding>(i, in, out, h);
            std::memcpy(y + i, &out, sizeof(Vec));
        }
    }
    template <typename Vec, bool GlidingA, bool GlidingB, typename Take, typename Then>
    [[gnu::always_inline]] static inline void runPair(GlidingSections& a, GlidingSections& b,
                                                      Take& take, Then& then) noexcept {
        constexpr int W = sizeof(Vec) / sizeof(double);
        const History ha = a.advanceHistory();
        const History hb = b.advanceHistory();
#pragma GCC unroll 4 // the lanes' recursions side by side
        for (int i = 0; i < N; i += W) {
            Vec in, middle, out;
            take(i, in);
            a.template lanes<Vec, GlidingA>(i, in, middle, ha);
            b.template lanes<Vec, GlidingB>(i, middle, out, hb);
            then(i, out);
        }
    }

    // One sample of the lanes from i on: out from in, with history h.
    template <typename Vec, bool Gliding>
    [[gnu::always_inline]] inline void lanes(int i, const Vec& in, Vec& out,
                                             const History& h) noexcept {
        constexpr size_t kBytes = sizeof(Vec);
        // The recursion's coefficients, b1 and a1 negated (nb1 = -b1, na1 =
        // -a1) on the glide, where they are built that way.
        Vec b0, b1, b2, a1, a2;
        coefficientsNow<Vec, Gliding>(i, b0, b1, b2, a1, a2);
        Vec x1, x2, y1, y2;
        std::memcpy(&x1, h.x1s + i, kBytes);
        std::memcpy(&x2, h.x2s + i, kBytes);
        std::memcpy(&y1, h.y1s + i, kBytes);
        std::memcpy(&y2, h.y2s + i, kBytes);
        recursion<Vec, Gliding>(b0, b1, b2, a1, a2, in, x1, x2, y1, y2, out);
        std::memcpy(h.x2s + i, &in, kBytes);
        std::memcpy(h.y2s + i, &out, kBytes);
    }

    // This sample's coefficients of the lanes from i on: on the glide, the
    // glide's step and the coefficients rebuilt from the roots (b1 and a1
    // negated); at rest, the targets.
    template <typename Vec, bool Gliding>
    [[gnu::always_inline]] inline void coefficientsNow(int i, Vec& b0, Vec& b1, Vec& b2, Vec& a1,
                                                       Vec& a2) noexcept {
        if constexpr (Gliding) {
            Vec now[BiquadFilter::kGlidedValues];
#pragma GCC unroll 9
            for (int k = 0; k < BiquadFilter::kGlidedValues; ++k) stepGlide(now[k], k, i);
            glidedCoefficients(now, b0, b1, b2, a1, a2);
        } else {
            targetsOf(i, b0, b1, b2, a1, a2);
        }
    }
    // The coefficients rebuilt from the glided values now (b1 and a1 negated).
    template <typename Vec>
    [[gnu::always_inline]] static inline void
    glidedCoefficients(const Vec* now, Vec& b0, Vec& b1, Vec& b2, Vec& a1, Vec& a2) noexcept {
        const Vec& gain = now[kGain];
        b0 = gain;
        b1 = (now[kZaRe] + now[kZbRe]) * gain; // -b1: -(s) g is -(s g) bit for bit
        b2 = (now[kZaRe] * now[kZbRe] - now[kZaIm] * now[kZbIm]) * gain;
        a1 = now[kPaRe] + now[kPbRe]; // -a1
        a2 = now[kPaRe] * now[kPbRe] - now[kPaIm] * now[kPbIm];
    }
    // The target coefficients of the lanes from i on.
    template <typename Vec>
    [[gnu::always_inline]] inline void targetsOf(int i, Vec& b0, Vec& b1, Vec& b2, Vec& a1,
                                                 Vec& a2) const noexcept {
        constexpr size_t kBytes = sizeof(Vec);
        std::memcpy(&b0, &targets_.b0[i], kBytes);
        std::memcpy(&b1, &targets_.b1[i], kBytes);
        std::memcpy(&b2, &targets_.b2[i], kBytes);
        std::memcpy(&a1, &targets_.a1[i], kBytes);
        std::memcpy(&a2, &targets_.a2[i], kBytes);
    }
    // One sample's recursion as BiquadFilter runs it: the history's share
    // first, then the guard. With b1 and a1 negated (Gliding), c + b1 x1
    // becomes c - nb1 x1 and c - a1 y1 becomes c + na1 y1: the same exact
    // values (negation is exact and rounding symmetric in sign), so the same
    // roundings, fused or not.
    template <typename Vec, bool Gliding>
    [[gnu::always_inline]] static inline void recursion(const Vec& b0, const Vec& b1, const Vec& b2,
                                                        const Vec& a1, const Vec& a2, const Vec& in,
                                                        const Vec& x1, const Vec& x2, const Vec& y1,
                                                        const Vec& y2, Vec& out) noexcept {
        Vec history;
        if constexpr (Gliding) {
            minusProduct(b1, x1, b2 * x2, history);
            plusProduct(a1, y1, history, history);
        } else {
            plusProduct(b1, x1, b2 * x2, history);
            minusProduct(a1, y1, history, history);
        }
        minusProduct(a2, y2, history, history);
        plusProduct(b0, in, history, out);
        out = out + kRecursionGuard;
        out = out - kRecursionGuard;
    }

    // c + a b and c - a b: as written on the SSE2 lanes (BiquadFilter's
    // roundings), fused on the AVX2 lanes (rounded once: a shorter chain). The
    // wide ones take their vectors by reference, since run's own body has no
    // AVX target; processWide inlines them (flatten).
    [[gnu::always_inline]] static inline void plusProduct(const Vec2& a, const Vec2& b,
                                                          const Vec2& c, Vec2& out) noexcept {
        out = a * b + c;
    }
    [[gnu::always_inline]] static inline void minusProduct(const Vec2& a, const Vec2& b,
                                                           const Vec2& c, Vec2& out) noexcept {
        out = c - a * b;
    }
    [[gnu::target("avx2,fma")]] static inline void plusProduct(const Vec4& a, const Vec4& b,
                                                               const Vec4& c, Vec4& out) noexcept {
        out = _mm256_fmadd_pd(a, b, c);
    }
    [[gnu::target("avx2,fma")]] static inline void minusProduct(const Vec4& a, const Vec4& b,
                                                                const Vec4& c, Vec4& out) noexcept {
        out = _mm256_fnmadd_pd(a, b, c);
    }

    // One glided value of the lanes from i on: a step further, kept and handed
    // out in z.
    template <typename Vec>
    [[gnu::always_inline]] inline void stepGlide(Vec& z, int k, int i) noexcept {
        Vec now, step;
        std::memcpy(&now, &now_[k][i], sizeof(Vec));
        std::memcpy(&step, &step_[k][i], sizeof(Vec));
        z = now + step;
        std::memcpy(&now_[k][i], &z, sizeof(Vec));
    }

    // No glide runs: the values stay where they are until the next target.
    void endGlide() noexcept {
        count_ = 0;
        for (auto& values : step_)
            for (double& s : values) s = 0.0;
    }

    void setCoefficients(int lane, const BiquadCoefficients& c) noexcept {
        targets_.b0[lane] = c.b0;
        targets_.b1[lane] = c.b1;
        targets_.b2[lane] = c.b2;
        targets_.a1[lane] = c.a1;
        targets_.a2[lane] = c.a2;
    }

    // Target coefficients (used once a glide is over).
    Targets targets_ = {};
    // The glided values now, their goals and their steps per sample.
    alignas(32) double now_[BiquadFilter::kGlidedValues][N] = {};
    alignas(32) double goal_[BiquadFilter::kGlidedValues][N] = {};
    alignas(32) double step_[BiquadFilter::kGlidedValues][N] = {};
    // The recursion's last two inputs and outputs: slot newest_ holds the
    // latest, the other the one before.
    alignas(32) double xs_[2][N] = {};
    alignas(32) double ys_[2][N] = {};
    int32_t newest_ = 0;
    int32_t count_ = 0;
    int32_t glideLength_ = 0;
    double inverseLength_ = 0.0; // 1 / glideLength_ (0 without a glide)
};

} // namespace zel
