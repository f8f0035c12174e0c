// Blocks of samples through chains of cascades as a wavefront. One sample at a
// time, every section of a chain waits for the one before it, so a long chain is
// one long dependent latency chain. Here, at step t, section k of the chain works
// on sample t - k: the sections of one step do not wait for each other and the
// processor overlaps them. Each section keeps its own input and output history
// through the block (taken from the nodes at the start and given back at the
// end), and computes exactly what the per-sample kernels compute, operation for
// operation, so the results are equal bit for bit.
//
// The lanes: on AVX2 one chain puts a cascade's four sections in a register (a
// lane's input is the lane below's output, one rotation away), two chains put
// sections 2 r and 2 r + 1 of both in register r (a, b, a, b: the input is half
// the register below and half this one's, one 128-bit move), which costs less
// per step than two one-cascade registers with a rotation each. On SSE2 one
// chain puts two consecutive sections in a register, two chains one section of
// each.
#include "engine/MultiFilter.h"

#include "engine/OnePole.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <immintrin.h>
#include <utility>

namespace zel {

namespace {

// Cascades per wavefront. A longer chain runs group after group, each over the
// whole block; the stack holds one group's sections.
constexpr int kGroup = 8;
constexpr int kMaxLanes = 2 * kGroup * MultiFilter::kSections;

// Lane masks by the bits of the lanes that take part (bit i: lane i).
constexpr int64_t kOn = -1;
alignas(32) constexpr int64_t kLaneMask[16][4] = {
    {0, 0, 0, 0},     {kOn, 0, 0, 0},     {0, kOn, 0, 0},     {kOn, kOn, 0, 0},
    {0, 0, kOn, 0},   {kOn, 0, kOn, 0},   {0, kOn, kOn, 0},   {kOn, kOn, kOn, 0},
    {0, 0, 0, kOn},   {kOn, 0, 0, kOn},   {0, kOn, 0, kOn},   {kOn, kOn, 0, kOn},
    {0, 0, kOn, kOn}, {kOn, 0, kOn, kOn}, {0, kOn, kOn, kOn}, {kOn, kOn, kOn, kOn}};
alignas(32) constexpr int64_t kAbsMask[4] = {INT64_MAX, INT64_MAX, INT64_MAX, INT64_MAX};

// At step t, which lanes of a register work on a sample of the block: lane i
// holds a section whose sample offset is base + (i >> shift).
[[gnu::always_inline]] inline int activeLanes(int t, int n, int base, int shift,
                                              int lanes) noexcept {
    int bits = 0;
    for (int i = 0; i < lanes; ++i) {
        const int s = t - base - (i >> shift);
        if (s >= 0 && s < n) bits |= 1 << i;
    }
    return bits;
}

// The registers at work in step t, highest first: from the highest that has
// begun (its newest lane's offset stride r <= t) down to the lowest not yet done
// (its oldest lane, offset stride r + span, still below n). Those between
// fullTop and fullBottom have all their lanes at work and step without masks;
// the few at the wavefront's edges step with them.
struct Sweep {
    int top, fullTop, fullBottom, bottom;

    Sweep(int regs, int t, int n, int stride, int span) noexcept
        : top(std::min(regs - 1, t / stride)),
          fullTop(t < span ? -1 : std::min(top, (t - span) / stride)),
          fullBottom(t < n ? 0 : (t - n) / stride + 1),
          bottom(t - span < n ? 0 : (t - span - n) / stride + 1) {}
};

} // namespace

struct MultiFilter::Wavefront {
    // The sections of a group lane by lane, in a layout's order: coefficients,
    // saturation, and the history each keeps through the block.
    struct Plan {
        alignas(32) double b0[kMaxLanes], b1[kMaxLanes], b2[kMaxLanes];
        alignas(32) double a1[kMaxLanes], a2[kMaxLanes];
        alignas(32) double satMask[kMaxLanes], bias[kMaxLanes], inv[kMaxLanes];
        // Input and output histories, one and two samples back: [0] and [1]
        // as loaded; the wide kernels take turns (Hist), and `last` says which
        // holds the values one sample back after the block.
        alignas(32) double x[2][kMaxLanes], y[2][kMaxLanes];
        int last = 0;
        bool saturates[kMaxLanes]; // by register: any of its lanes
        bool anySaturates;         // any register
    };

    // The Plan's arrays, each with one value per lane.
    static constexpr int kRows = 12;
    struct Rows {
        double* row[kRows];
        explicit Rows(Plan& p) noexcept
            : row{p.b0,   p.b1,  p.b2,   p.a1,   p.a2,   p.satMask,
                  p.bias, p.inv, p.x[0], p.x[1], p.y[0], p.y[1]} {}
    };

    // A cascade's values for those arrays, section by section: section s reads
    // its x history from node s and its y history from node s + 1. An idle
    // cascade's are zeros: it computes zeros from whatever reaches it, and
    // nothing reads them.
    struct Source {
        alignas(16) double satMask[kSections] = {};
        const double* row[kRows];

        explicit Source(const MultiFilter& m) noexcept
            : row{m.b0_,      m.b1_,         m.b2_,    m.a1_,    m.a2_,        satMask,
                  m.satBias_, m.satInverse_, m.node1_, m.node2_, m.node1_ + 1, m.node2_ + 1} {
            for (int s = 0; s < kSections; ++s)
                satMask[s] = std::bit_cast<double>(m.satOn_[s] ? kOn : int64_t{0});
        }
        Source() noexcept {
            for (const double*& r : row) r = satMask;
        }
        Source(const Source&) = delete;
        Source& operator=(const Source&) = delete;
    };

    // One chain's cascade into lanes lane0 .. lane0 + 3.
    static void load(const Rows& to, const Source& m, int lane0) noexcept {
        for (int k = 0; k < kRows; ++k) {
            double* d = to.row[k] + lane0;
            _mm_store_pd(d, _mm_loadu_pd(m.row[k]));
            _mm_store_pd(d + 2, _mm_loadu_pd(m.row[k] + 2));
        }
    }

    // Two chains' cascades into lanes lane0 .. lane0 + 7, alternating.
    static void loadTwo(const Rows& to, const Source& a, const Source& b, int lane0) noexcept {
        for (int k = 0; k < kRows; ++k) {
            double* d = to.row[k] + lane0;
            for (int s = 0; s < kSections; s += 2) {
                const __m128d va = _mm_loadu_pd(a.row[k] + s), vb = _mm_loadu_pd(b.row[k] + s);
                _mm_store_pd(d + 2 * s, _mm_unpacklo_pd(va, vb));
                _mm_store_pd(d + 2 * s + 2, _mm_unpackhi_pd(va, vb));
            }
        }
    }

    // After a whole block, section s's output history and section s + 1's input
    // history are the same values (node s + 1): the nodes take the inputs'
    // histories and the last section's output history. Lanes lane0,
    // lane0 + stride, ... (stride 1 or 2).
    static void store(const Plan& p, MultiFilter& m, int lane0, int stride) noexcept {
        const double* x1 = p.x[p.last] + lane0;
        const double* x2 = p.x[1 - p.last] + lane0;
        if (stride == 1) {
            _mm_storeu_pd(m.node1_, _mm_load_pd(x1));
            _mm_storeu_pd(m.node1_ + 2, _mm_load_pd(x1 + 2));
            _mm_storeu_pd(m.node2_, _mm_load_pd(x2));
            _mm_storeu_pd(m.node2_ + 2, _mm_load_pd(x2 + 2));
        } else {
            // Every other lane, from lane0's half of each pair.
            for (int s = 0; s < kSections; s += 2) {
                _mm_storeu_pd(m.node1_ + s, gather2(x1 + 2 * s, lane0 & 1));
                _mm_storeu_pd(m.node2_ + s, gather2(x2 + 2 * s, lane0 & 1));
            }
        }
        const int out = lane0 + stride * (kSections - 1);
        m.node1_[kSections] = p.y[p.last][out];
        m.node2_[kSections] = p.y[1 - p.last][out];
    }

    // (v[0], v[2]), read as whole aligned pairs: from v on where v is an even
    // lane, else from v - 1.
    static __m128d gather2(const double* v, int odd) noexcept {
        const double* base = v - odd;
        const __m128d lo = _mm_load_pd(base), hi = _mm_load_pd(base + 2);
        return odd ? _mm_unpackhi_pd(lo, hi) : _mm_unpacklo_pd(lo, hi);
    }

    static void markSaturation(Plan& p, int lanes, int width) noexcept {
        p.anySaturates = false;
        for (int r = 0; r < lanes / width; ++r) {
            __m128d any = _mm_load_pd(p.satMask + r * width);
            for (int l = r * width + 2; l < (r + 1) * width; l += 2)
                any = _mm_or_pd(any, _mm_load_pd(p.satMask + l));
            p.saturates[r] = _mm_movemask_pd(any) != 0;
            p.anySaturates = p.anySaturates || p.saturates[r];
        }
    }

    // One chain: lane l is the chain's section l (at sample offset l).
    static void loadChain(Plan& p, const MultiFilter* c, int count, int width) noexcept {
        const Rows to(p);
        for (int i = 0; i < count; ++i) load(to, Source(c[i]), kSections * i);
        markSaturation(p, count * kSections, width);
    }

    static void storeChain(const Plan& p, MultiFilter* c, int count) noexcept {
        for (int i = 0; i < count; ++i) store(p, c[i], kSections * i, 1);
    }

    // Two chains: lanes alternate, a's section j in lane 2 j and b's in 2 j + 1
    // (both at sample offset j); past the shorter chain's end its lanes are idle.
    static void loadPair(Plan& p, const MultiFilter* a, int countA, const MultiFilter* b,
                         int countB, int width) noexcept {
        const Rows to(p);
        const int count = std::max(countA, countB);
        for (int i = 0; i < count; ++i) {
            const int lane0 = 2 * kSections * i;
            if (i < countA && i < countB)
                loadTwo(to, Source(a[i]), Source(b[i]), lane0);
            else if (i < countA)
                loadTwo(to, Source(a[i]), Source(), lane0);
            else
                loadTwo(to, Source(), Source(b[i]), lane0);
        }
        markSaturation(p, 2 * count * kSections, width);
    }

    static void storePair(const Plan& p, MultiFilter* a, int countA, MultiFilter* b,
                          int countB) noexcept {
        for (int i = 0; i < countA; ++i) store(p, a[i], 2 * kSections * i, 2);
        for (int i = 0; i < countB; ++i) store(p, b[i], 2 * kSections * i + 1, 2);
    }

    // Each kernel takes its steps through the registers at work (Sweep), the
    // highest first so that a register still reads the one below it as it was a
    // step ago. Register 0 takes the block's input and steps last; the chains'
    // last sections' outputs are read back after the step. Sat: some section of
    // the group saturates (else no register checks); Full: every lane of the
    // register works (else the histories move on only in the working lanes);
    // First: register 0.
    template <class Kernel>
    [[gnu::always_inline]] static inline void sweep(const Sweep& w, Kernel& k) noexcept {
        int r = w.top;
        for (; r > w.fullTop && r >= w.bottom && r > 0; --r) k.template step<false, false>(r);
        for (; r >= w.fullBottom && r >= w.bottom && r > 0; --r) k.template step<true, false>(r);
        for (; r >= w.bottom && r > 0; --r) k.template step<false, false>(r);
        if (w.bottom == 0) {
            if (w.fullTop >= 0 && w.fullBottom == 0)
                k.template step<true, true>(0);
            else
                k.template step<false, true>(0);
        }
    }

    // Sample s = t - offset of a section's output, if it is in the block.
    static void output(const double* y1, int lane, int offset, int t, double* x, int n) noexcept {
        const int s = t - offset;
        if (s >= 0 && s < n) x[s] = y1[lane];
    }

    // ---- SSE2: two lanes to a register ----

    [[gnu::always_inline]] static inline __m128d guard2(__m128d v) noexcept {
        const __m128d g = _mm_set1_pd(kCascadeGuard);
        return _mm_sub_pd(_mm_add_pd(v, g), g);
    }

    [[gnu::always_inline]] static inline __m128d select2(__m128d mask, __m128d on,
                                                         __m128d off) noexcept {
        return _mm_or_pd(_mm_and_pd(mask, on), _mm_andnot_pd(mask, off));
    }

    [[gnu::always_inline]] static inline __m128d mask2(int bits) noexcept {
        return _mm_load_pd(reinterpret_cast<const double*>(kLaneMask[bits]));
    }

    // Register r's sections one step on: input `in`, history shares, output
    // (saturated in the lanes that saturate), histories moved on in the lanes of
    // `mask` (all lanes when Full).
    template <bool Sat, bool Full>
    [[gnu::always_inline]] static inline void section2(Plan& p, int r, __m128d in,
                                                       __m128d mask) noexcept {
        const int o = 2 * r;
        double *const x1p = p.x[0], *const x2p = p.x[1], *const y1p = p.y[0], *const y2p = p.y[1];
        const __m128d x1 = _mm_load_pd(x1p + o), x2 = _mm_load_pd(x2p + o);
        const __m128d y1 = _mm_load_pd(y1p + o), y2 = _mm_load_pd(y2p + o);
        const __m128d bx = _mm_add_pd(_mm_mul_pd(_mm_load_pd(p.b1 + o), x1),
                                      _mm_mul_pd(_mm_load_pd(p.b2 + o), x2));
        const __m128d share = _mm_sub_pd(_mm_sub_pd(bx, _mm_mul_pd(_mm_load_pd(p.a1 + o), y1)),
                                         _mm_mul_pd(_mm_load_pd(p.a2 + o), y2));
        __m128d y = guard2(_mm_add_pd(_mm_mul_pd(_mm_load_pd(p.b0 + o), in), share));
        if (Sat && p.saturates[r]) {
            const __m128d absMask = _mm_load_pd(reinterpret_cast<const double*>(kAbsMask));
            const __m128d size = _mm_and_pd(_mm_add_pd(y, _mm_load_pd(p.bias + o)), absMask);
            const __m128d d =
                _mm_add_pd(_mm_mul_pd(size, _mm_load_pd(p.inv + o)), _mm_set1_pd(1.0));
            y = select2(_mm_load_pd(p.satMask + o), guard2(_mm_div_pd(y, d)), y);
        }
        if (Full) {
            _mm_store_pd(x2p + o, x1);
            _mm_store_pd(x1p + o, in);
            _mm_store_pd(y2p + o, y1);
            _mm_store_pd(y1p + o, y);
        } else {
            _mm_store_pd(x2p + o, select2(mask, x1, x2));
            _mm_store_pd(x1p + o, select2(mask, in, x1));
            _mm_store_pd(y2p + o, select2(mask, y1, y2));
            _mm_store_pd(y1p + o, select2(mask, y, y1));
        }
    }

    // One chain, register r holding sections 2 r and 2 r + 1: the input is the
    // previous register's second lane and this one's first, guarded where a
    // cascade begins (even registers).
    template <bool Sat> struct ChainNarrow {
        Plan& p;
        const double* x;
        int t, n;

        template <bool Full, bool First> [[gnu::always_inline]] inline void step(int r) noexcept {
            const __m128d mask = Full ? _mm_setzero_pd() : mask2(activeLanes(t, n, 2 * r, 0, 2));
            const __m128d own = _mm_load_pd(p.y[0] + 2 * r);
            const __m128d prev =
                First ? _mm_set1_pd(Full || t < n ? x[t] : 0.0) : _mm_load_pd(p.y[0] + 2 * r - 2);
            __m128d in = _mm_shuffle_pd(prev, own, 1);
            if (r % 2 == 0) in = _mm_move_sd(in, guard2(in));
            section2<Sat, Full>(p, r, in, mask);
        }
    };

    template <bool Sat> static void chainNarrow(Plan& p, int regs, double* x, int n) noexcept {
        const int last = 2 * regs - 1;
        for (int t = 0; t < n + last; ++t) {
            ChainNarrow<Sat> k{p, x, t, n};
            sweep(Sweep(regs, t, n, 2, 1), k);
            output(p.y[0], last, last, t, x, n);
        }
    }

    // Two chains, register r holding section r of both: the input is the
    // previous register's output, guarded where a cascade begins.
    template <bool Sat> struct PairNarrow {
        Plan& p;
        const double *xa, *xb;
        int t, n;

        template <bool Full, bool First> [[gnu::always_inline]] inline void step(int r) noexcept {
            const __m128d mask = Full ? _mm_setzero_pd() : mask2(activeLanes(t, n, r, 1, 2));
            __m128d in;
            if (First)
                in = Full || t < n ? _mm_set_pd(xb[t], xa[t]) : _mm_setzero_pd();
            else
                in = _mm_load_pd(p.y[0] + 2 * r - 2);
            if (r % kSections == 0) in = guard2(in);
            section2<Sat, Full>(p, r, in, mask);
        }
    };

    // The chains' last sections are in registers outA and outB (-1: none in
    // this group).
    template <bool Sat>
    static void pairNarrow(Plan& p, int regs, int outA, int outB, double* xa, double* xb,
                           int n) noexcept {
        const int last = regs - 1;
        for (int t = 0; t < n + last; ++t) {
            PairNarrow<Sat> k{p, xa, xb, t, n};
            sweep(Sweep(regs, t, n, 1, 0), k);
            if (outA >= 0) output(p.y[0], 2 * outA, outA, t, xa, n);
            if (outB >= 0) output(p.y[0], 2 * outB + 1, outB, t, xb, n);
        }
    }

    // ---- AVX2: four lanes to a register ----

    // sweep, for the AVX2 kernels.
    template <class Kernel>
    [[gnu::always_inline, gnu::target("avx2,fma")]] static inline void
    sweepWide(const Sweep& w, Kernel& k) noexcept {
        int r = w.top;
        for (; r > w.fullTop && r >= w.bottom && r > 0; --r) k.template step<false, false>(r);
        for (; r >= w.fullBottom && r >= w.bottom && r > 0; --r) k.template step<true, false>(r);
        for (; r >= w.bottom && r > 0; --r) k.template step<false, false>(r);
        if (w.bottom == 0) {
            if (w.fullTop >= 0 && w.fullBottom == 0)
                k.template step<true, true>(0);
            else
                k.template step<false, true>(0);
        }
    }

    [[gnu::always_inline, gnu::target("avx2,fma")]] static inline __m256d
    guard4(__m256d v) noexcept {
        const __m256d g = _mm256_set1_pd(kCascadeGuard);
        return _mm256_sub_pd(_mm256_add_pd(v, g), g);
    }

    [[gnu::always_inline, gnu::target("avx2,fma")]] static inline __m256d mask4(int bits) noexcept {
        return _mm256_load_pd(reinterpret_cast<const double*>(kLaneMask[bits]));
    }

    // The histories of one step of the wide kernels. They take turns: a step
    // reads the values one sample back from x1, y1 and two back from x2, y2,
    // and puts its own where those two back were, so the next step finds its
    // values one back there and the ones of this step two back where they are:
    // nothing moves. Register r steps for the first time at a step of even t
    // (r times an even stride), so at step t every register's values one back
    // are in the same one; each steps the same number of times, so after the block
    // all of them are in the same one (last).
    struct Hist {
        double *x1, *x2, *y1, *y2;
        explicit Hist(Plan& p) noexcept : x1(p.x[0]), x2(p.x[1]), y1(p.y[0]), y2(p.y[1]) {}
        // The next step's turn.
        void flip() noexcept {
            std::swap(x1, x2);
            std::swap(y1, y2);
        }
    };

    template <bool Sat, bool Full>
    [[gnu::always_inline, gnu::target("avx2,fma")]] static inline void
    section4(const Plan& p, const Hist& h, int r, __m256d in, __m256d mask) noexcept {
        const int o = 4 * r;
        const __m256d x1 = _mm256_load_pd(h.x1 + o), x2 = _mm256_load_pd(h.x2 + o);
        const __m256d y1 = _mm256_load_pd(h.y1 + o), y2 = _mm256_load_pd(h.y2 + o);
        // Fused as the per-sample AVX2 kernels fuse, so a run gives their values.
        const __m256d bx = _mm256_fmadd_pd(_mm256_load_pd(p.b1 + o), x1,
                                           _mm256_mul_pd(_mm256_load_pd(p.b2 + o), x2));
        const __m256d share = _mm256_fnmadd_pd(_mm256_load_pd(p.a2 + o), y2,
                                               _mm256_fnmadd_pd(_mm256_load_pd(p.a1 + o), y1, bx));
        __m256d y = guard4(_mm256_fmadd_pd(_mm256_load_pd(p.b0 + o), in, share));
        if (Sat && p.saturates[r]) {
            const __m256d absMask = _mm256_load_pd(reinterpret_cast<const double*>(kAbsMask));
            const __m256d size =
                _mm256_and_pd(_mm256_add_pd(y, _mm256_load_pd(p.bias + o)), absMask);
            const __m256d d = _mm256_fmadd_pd(size, _mm256_load_pd(p.inv + o), _mm256_set1_pd(1.0));
            y = _mm256_blendv_pd(y, guard4(_mm256_div_pd(y, d)), _mm256_load_pd(p.satMask + o));
        }
        if (Full) {
            _mm256_store_pd(h.x2 + o, in);
            _mm256_store_pd(h.y2 + o, y);
        } else {
            // Lanes outside the mask keep their values: one back stays one
            // back, two back two back.
            _mm256_store_pd(h.x2 + o, _mm256_blendv_pd(x1, in, mask));
            _mm256_store_pd(h.x1 + o, _mm256_blendv_pd(x2, x1, mask));
            _mm256_store_pd(h.y2 + o, _mm256_blendv_pd(y1, y, mask));
            _mm256_store_pd(h.y1 + o, _mm256_blendv_pd(y2, y1, mask));
        }
    }

    // (v3, v0, v1, v2): each lane takes the value of the lane below it.
    static constexpr int kRotateUp = _MM_SHUFFLE(2, 1, 0, 3);

    // One chain, register r holding cascade r's four sections: each lane's input
    // is the lane below's output, the first lane's the previous cascade's last
    // output, guarded.
    template <bool Sat> struct ChainWide {
        const Plan& p;
        const Hist& h;
        const double* x;
        int t, n;

        // bits: the lanes at work where the caller knows them (else -1).
        template <bool Full, bool First>
        [[gnu::always_inline, gnu::target("avx2,fma")]] inline void step(int r,
                                                                         int bits = -1) noexcept {
            const __m256d mask = Full ? _mm256_setzero_pd()
                                      : mask4(bits >= 0 ? bits : activeLanes(t, n, 4 * r, 0, 4));
            const __m256d own = _mm256_permute4x64_pd(_mm256_load_pd(h.y1 + 4 * r), kRotateUp);
            const __m256d carry =
                First ? _mm256_set1_pd(Full || t < n ? x[t] : 0.0)
                      : _mm256_permute4x64_pd(_mm256_load_pd(h.y1 + 4 * r - 4), kRotateUp);
            const __m256d in = _mm256_blend_pd(own, guard4(carry), 0b0001);
            section4<Sat, Full>(p, h, r, in, mask);
        }
    };

    // The steps the Sweep would take while the wavefront enters the chain (t
    // below the last register's start and below n): register t / 4 has begun,
    // in full only from t % 4 == 3 on; the ones below work in full.
    template <bool Sat>
    [[gnu::always_inline, gnu::target("avx2,fma")]] static inline void
    chainEnter(const Plan& p, Hist& h, int last, double* x, int t, int n) noexcept {
        ChainWide<Sat> k{p, h, x, t, n};
        int r = t / 4;
        if (t % 4 != 3) {
            // Its lanes up to t % 4.
            const int bits = (2 << (t % 4)) - 1;
            if (r > 0)
                k.template step<false, false>(r, bits);
            else
                k.template step<false, true>(0, bits);
            --r;
        }
        for (; r > 0; --r) k.template step<true, false>(r);
        if (r == 0) k.template step<true, true>(0);
        output(h.y2, last, last, t, x, n);
        h.flip();
    }

    // And while it leaves it (t at or past n and past the last register's
    // start): d = t - n; registers from d / Stride + 1 up work in full,
    // register d / Stride in its lanes above d % Stride, the ones below are
    // done.
    template <bool Sat>
    [[gnu::always_inline, gnu::target("avx2,fma")]] static inline void
    chainLeave(const Plan& p, Hist& h, int regs, int last, double* x, int t, int n) noexcept {
        ChainWide<Sat> k{p, h, x, t, n};
        const int d = t - n;
        int r = regs - 1;
        for (; r > d / 4; --r) k.template step<true, false>(r);
        if (d % 4 != 3) {
            const int bits = 0b1111 & ~((2 << (d % 4)) - 1);
            if (r > 0)
                k.template step<false, false>(r, bits);
            else
                k.template step<false, true>(0, bits);
        }
        output(h.y2, last, last, t, x, n);
        h.flip();
    }

    // The steps with every lane at work of a chain of one register (a single
    // cascade of up to four sections), its histories held in registers for the
    // stretch: through memory, every step's loads waited for the last step's
    // stores, on the path each sample waits for. The same operations as
    // section4 in full, the same turns of the histories. Returns where it
    // stopped (n).
    template <bool Sat>
    [[gnu::always_inline, gnu::target("avx2,fma")]] static inline int
    chainOneSteady(const Plan& p, Hist& h, double* x, int t, int n) noexcept {
        constexpr int kLast = 3; // the lane of the cascade's output
        const __m256d b0 = _mm256_load_pd(p.b0), b1 = _mm256_load_pd(p.b1);
        const __m256d b2 = _mm256_load_pd(p.b2), a1 = _mm256_load_pd(p.a1);
        const __m256d a2 = _mm256_load_pd(p.a2);
        const bool saturates = Sat && p.saturates[0];
        const __m256d absMask = _mm256_load_pd(reinterpret_cast<const double*>(kAbsMask));
        const __m256d bias = _mm256_load_pd(p.bias), inv = _mm256_load_pd(p.inv);
        const __m256d satMask = _mm256_load_pd(p.satMask);
        const __m256d one = _mm256_set1_pd(1.0);
        __m256d x1 = _mm256_load_pd(h.x1), x2 = _mm256_load_pd(h.x2);
        __m256d y1 = _mm256_load_pd(h.y1), y2 = _mm256_load_pd(h.y2);
        const int start = t;
        for (; t < n; ++t) {
            const __m256d own = _mm256_permute4x64_pd(y1, kRotateUp);
            const __m256d in = _mm256_blend_pd(own, guard4(_mm256_set1_pd(x[t])), 0b0001);
            const __m256d bx = _mm256_fmadd_pd(b1, x1, _mm256_mul_pd(b2, x2));
            const __m256d share = _mm256_fnmadd_pd(a2, y2, _mm256_fnmadd_pd(a1, y1, bx));
            __m256d y = guard4(_mm256_fmadd_pd(b0, in, share));
            if (saturates) {
                const __m256d size = _mm256_and_pd(_mm256_add_pd(y, bias), absMask);
                const __m256d d = _mm256_fmadd_pd(size, inv, one);
                y = _mm256_blendv_pd(y, guard4(_mm256_div_pd(y, d)), satMask);
            }
            x2 = x1;
            x1 = in;
            y2 = y1;
            y1 = y;
            x[t - kLast] = _mm_cvtsd_f64(_mm_permute_pd(_mm256_extractf128_pd(y, 1), 0b11));
        }
        // Back where the memory's turns would have left them.
        if ((t - start) % 2 != 0) h.flip();
        _mm256_store_pd(h.x1, x1);
        _mm256_store_pd(h.x2, x2);
        _mm256_store_pd(h.y1, y1);
        _mm256_store_pd(h.y2, y2);
        return t;
    }

    template <bool Sat>
    [[gnu::target("avx2,fma")]] static void chainWide(Plan& p, int regs, double* x,
                                                      int n) noexcept {
        constexpr int kStride = 4, kSpan = 3;
        const int last = 4 * regs - 1;
        Hist h(p);
        int t = 0;
        for (; t < std::min(last, n); ++t) chainEnter<Sat>(p, h, last, x, t, n);
        // Where the wavefront enters and leaves at once (blocks shorter than the
        // chain), the Sweep's steps.
        for (; t < last; ++t) {
            ChainWide<Sat> k{p, h, x, t, n};
            sweepWide(Sweep(regs, t, n, kStride, kSpan), k);
            output(h.y2, last, last, t, x, n);
            h.flip();
        }
        // Every register's every lane at work, every step's output in the block.
        if (regs == 1) t = chainOneSteady<Sat>(p, h, x, t, n);
        for (; t < n; ++t) {
            ChainWide<Sat> k{p, h, x, t, n};
            for (int r = regs - 1; r > 0; --r) k.template step<true, false>(r);
            k.template step<true, true>(0);
            x[t - last] = h.y2[last];
            h.flip();
        }
        for (; t < n + last; ++t) chainLeave<Sat>(p, h, regs, last, x, t, n);
        p.last = (n + kSpan) & 1;
    }

    // Two chains, register r holding sections 2 r and 2 r + 1 of both (a, b, a,
    // b): the input is the previous register's upper half and this one's lower
    // half, the lower half guarded where a cascade begins (even registers).
    template <bool Sat> struct PairWide {
        const Plan& p;
        const Hist& h;
        const double *xa, *xb;
        int t, n;

        // Even: whether r is even (a cascade's first sections), when known
        // beforehand (else -1).
        // bits: the lanes at work where the caller knows them (else -1).
        template <bool Full, bool First, int Even = -1>
        [[gnu::always_inline, gnu::target("avx2,fma")]] inline void step(int r,
                                                                         int bits = -1) noexcept {
            const __m256d mask = Full ? _mm256_setzero_pd()
                                      : mask4(bits >= 0 ? bits : activeLanes(t, n, 2 * r, 1, 4));
            const __m256d own = _mm256_load_pd(h.y1 + 4 * r);
            __m256d in;
            if (First) {
                const __m128d x = Full || t < n ? _mm_set_pd(xb[t], xa[t]) : _mm_setzero_pd();
                in = _mm256_permute2f128_pd(_mm256_castpd128_pd256(x), own, 0x20);
            } else {
                in = _mm256_permute2f128_pd(_mm256_load_pd(h.y1 + 4 * r - 4), own, 0x21);
            }
            if (Even < 0 ? r % 2 == 0 : Even == 1) in = _mm256_blend_pd(in, guard4(in), 0b0011);
            section4<Sat, Full>(p, h, r, in, mask);
        }
    };

    // A step at the wavefront's edges, where some lanes wait or are done.
    template <bool Sat>
    [[gnu::always_inline, gnu::target("avx2,fma")]] static inline void
    pairEdge(const Plan& p, Hist& h, int regs, int outA, int outB, double* xa, double* xb, int t,
             int n) noexcept {
        constexpr int kStride = 2, kSpan = 1;
        PairWide<Sat> k{p, h, xa, xb, t, n};
        sweepWide(Sweep(regs, t, n, kStride, kSpan), k);
        pairOutputs(h, outA, outB, xa, xb, t, n);
    }

    // After a step: the chains' outputs that are in the block, and the turn.
    [[gnu::always_inline]] static inline void pairOutputs(Hist& h, int outA, int outB, double* xa,
                                                          double* xb, int t, int n) noexcept {
        if (outA >= 0) output(h.y2, 4 * outA + 2, 2 * outA + 1, t, xa, n);
        if (outB >= 0) output(h.y2, 4 * outB + 3, 2 * outB + 1, t, xb, n);
        h.flip();
    }

    // The steps the Sweep would take while the wavefront enters the chains
    // (t below the last register's start and below n): register t / 2 has
    // begun, its second sections only from odd t on; the ones below work in
    // full.
    template <bool Sat>
    [[gnu::always_inline, gnu::target("avx2,fma")]] static inline void
    pairEnter(const Plan& p, Hist& h, int outA, int outB, double* xa, double* xb, int t,
              int n) noexcept {
        PairWide<Sat> k{p, h, xa, xb, t, n};
        int r = t / 2;
        if (t % 2 == 0) {
            // Its first sections (the lower lanes).
            constexpr int kFirst = 0b0011;
            if (r > 0)
                k.template step<false, false>(r, kFirst);
            else
                k.template step<false, true>(0, kFirst);
            --r;
        }
        for (; r > 0; --r) k.template step<true, false>(r);
        if (r == 0) k.template step<true, true>(0);
        pairOutputs(h, outA, outB, xa, xb, t, n);
    }

    // And while it leaves them (t at or past n and past the last register's
    // start): d = t - n; registers from d / 2 + 1 up work in full, register
    // d / 2 takes its second sections' last sample when d is even, the ones
    // below are done.
    template <bool Sat>
    [[gnu::always_inline, gnu::target("avx2,fma")]] static inline void
    pairLeave(const Plan& p, Hist& h, int regs, int outA, int outB, double* xa, double* xb, int t,
              int n) noexcept {
        PairWide<Sat> k{p, h, xa, xb, t, n};
        const int d = t - n;
        int r = regs - 1;
        for (; r > d / 2; --r) k.template step<true, false>(r);
        if (d % 2 == 0) {
            // Its second sections (the upper lanes).
            constexpr int kSecond = 0b1100;
            if (r > 0)
                k.template step<false, false>(r, kSecond);
            else
                k.template step<false, true>(0, kSecond);
        }
        pairOutputs(h, outA, outB, xa, xb, t, n);
    }

    template <bool Sat>
    [[gnu::target("avx2,fma")]] static void pairWide(Plan& p, int regs, int outA, int outB,
                                                     double* xa, double* xb, int n) noexcept {
        constexpr int kSpan = 1;
        const int last = 2 * regs - 1;
        Hist h(p);
        int t = 0;
        for (; t < std::min(last, n); ++t) pairEnter<Sat>(p, h, outA, outB, xa, xb, t, n);
        // Where the wavefront enters and leaves at once (blocks shorter than the
        // chains), the Sweep's steps.
        for (; t < last; ++t) pairEdge<Sat>(p, h, regs, outA, outB, xa, xb, t, n);
        // Every register's every lane at work, every step's output in the block.
        // The registers come in pairs (two per cascade), odd above even.
        for (; t < n; ++t) {
            PairWide<Sat> k{p, h, xa, xb, t, n};
            for (int r = regs - 1; r > 1; r -= 2) {
                k.template step<true, false, 0>(r);
                k.template step<true, false, 1>(r - 1);
            }
            k.template step<true, false, 0>(1);
            k.template step<true, true, 1>(0);
            if (outA >= 0) xa[t - (2 * outA + 1)] = h.y2[4 * outA + 2];
            if (outB >= 0) xb[t - (2 * outB + 1)] = h.y2[4 * outB + 3];
            h.flip();
        }
        for (; t < n + last; ++t) pairLeave<Sat>(p, h, regs, outA, outB, xa, xb, t, n);
        p.last = (n + kSpan) & 1;
    }
};

// Chains in float, eight lanes to a register, for the chains whose round-off
// stays small (MultiFilter::floatSuits). A pair: register r holds cascade r of
// both chains, lanes 2 j and 2 j + 1 its section j of a and of b (at sample
// offset 4 r + j); a lane pair's input is the pair below's output, the lowest
// pair's the register below's highest (or the block's input). One chain:
// register r holds cascades 2 r and 2 r + 1, a lane's input is the lane
// below's output. The sections are the same and in the same order as in
// double, and saturate the same way. Only the block's input is guarded as it
// enters: every section's output already is, so the guards at the cascades'
// inputs inside the chain would change nothing but values below the guard's
// own size. The histories take turns as in the double kernels (Hist).
struct MultiFilter::FloatWavefront {
    // The guard in float: 2^-29 of the double one, so that its step (the
    // grain of the values it rounds) is the double guard's and the tails
    // settle as low as they do in double, where the engine's later guards
    // round them to zero.
    static constexpr float kFloatGuard = static_cast<float>(kCascadeGuard * 0x1p-29);
    static constexpr int kLanes = 8;
    static constexpr int kStride = 4, kSpan = 3;
    static constexpr int kMaxFloatLanes = kLanes * kGroup;

    struct Plan {
        alignas(32) float b0[kMaxFloatLanes], b1[kMaxFloatLanes], b2[kMaxFloatLanes];
        alignas(32) float a1[kMaxFloatLanes], a2[kMaxFloatLanes];
        alignas(32) float satMask[kMaxFloatLanes], bias[kMaxFloatLanes], inv[kMaxFloatLanes];
        alignas(32) float x[2][kMaxFloatLanes], y[2][kMaxFloatLanes];
        bool saturates[kGroup]; // by register: any of its lanes
        bool anySaturates;
    };

    struct Hist {
        float *x1, *x2, *y1, *y2;
        explicit Hist(Plan& p) noexcept : x1(p.x[0]), x2(p.x[1]), y1(p.y[0]), y2(p.y[1]) {}
        void flip() noexcept {
            std::swap(x1, x2);
            std::swap(y1, y2);
        }
    };

    // A cascade's rows for the plan: its float rows and its node histories
    // (section s reads its x history from node s, its y history from node s +
    // 1). An idle cascade's are zeros: it computes zeros from whatever reaches
    // it, and nothing reads them.
    struct Source {
        const float (*rows)[kSections];
        const double* state[4];
        bool saturates;

        explicit Source(const MultiFilter& m) noexcept
            : rows(m.floatRows_), state{m.node1_, m.node2_, m.node1_ + 1, m.node2_ + 1},
              saturates(m.saturates_) {}
        Source() noexcept : rows(kIdleRows), state{kIdle, kIdle, kIdle, kIdle}, saturates(false) {}

        alignas(16) static constexpr float kIdleRows[kFloatRows][kSections] = {};
        alignas(32) static constexpr double kIdle[kSections] = {};
    };

    // Cascade r of each chain into register r, lanes alternating (a, b, a, b,
    // ...): the float rows as they are, the histories rounded to float.
    [[gnu::target("avx2,fma")]] static void load(Plan& p, const Source& a, const Source& b,
                                                 int r) noexcept {
        float* const rows[kFloatRows] = {p.b0, p.b1, p.b2, p.a1, p.a2, p.satMask, p.bias, p.inv};
        float* const states[4] = {p.x[0], p.x[1], p.y[0], p.y[1]};
        const int o = kLanes * r;
        for (int k = 0; k < kFloatRows; ++k) {
            const __m128 va = _mm_load_ps(a.rows[k]), vb = _mm_load_ps(b.rows[k]);
            _mm256_store_ps(rows[k] + o,
                            _mm256_set_m128(_mm_unpackhi_ps(va, vb), _mm_unpacklo_ps(va, vb)));
        }
        for (int k = 0; k < 4; ++k) {
            const __m128 va = _mm256_cvtpd_ps(_mm256_loadu_pd(a.state[k]));
            const __m128 vb = _mm256_cvtpd_ps(_mm256_loadu_pd(b.state[k]));
            _mm256_store_ps(states[k] + o,
                            _mm256_set_m128(_mm_unpackhi_ps(va, vb), _mm_unpacklo_ps(va, vb)));
        }
        p.saturates[r] = a.saturates || b.saturates;
        p.anySaturates = p.anySaturates || p.saturates[r];
    }

    [[gnu::target("avx2,fma")]] static void loadPair(Plan& p, const MultiFilter* a, int countA,
                                                     const MultiFilter* b, int countB) noexcept {
        p.anySaturates = false;
        for (int r = 0; r < std::max(countA, countB); ++r) {
            if (r < countA && r < countB)
                load(p, Source(a[r]), Source(b[r]), r);
            else if (r < countA)
                load(p, Source(a[r]), Source(), r);
            else
                load(p, Source(), Source(b[r]), r);
        }
    }

    // One chain's half (Odd: b's) of eight lanes, widened back to double.
    template <bool Odd>
    [[gnu::always_inline, gnu::target("avx2,fma")]] static inline __m256d
    half(const float* v) noexcept {
        const __m256 all = _mm256_load_ps(v);
        const __m128 lo = _mm256_castps256_ps128(all), hi = _mm256_extractf128_ps(all, 1);
        constexpr int kPick = Odd ? _MM_SHUFFLE(3, 1, 3, 1) : _MM_SHUFFLE(2, 0, 2, 0);
        return _mm256_cvtps_pd(_mm_shuffle_ps(lo, hi, kPick));
    }

    // As Wavefront::store: the nodes take the inputs' histories and the last
    // section's output history.
    template <bool Odd>
    [[gnu::target("avx2,fma")]] static void store(const Plan& p, int last, MultiFilter& m,
                                                  int r) noexcept {
        const int o = kLanes * r;
        _mm256_storeu_pd(m.node1_, half<Odd>(p.x[last] + o));
        _mm256_storeu_pd(m.node2_, half<Odd>(p.x[1 - last] + o));
        m.node1_[kSections] = p.y[last][o + 6 + Odd];
        m.node2_[kSections] = p.y[1 - last][o + 6 + Odd];
    }

    [[gnu::target("avx2,fma")]] static void storePair(const Plan& p, int last, MultiFilter* a,
                                                      int countA, MultiFilter* b,
                                                      int countB) noexcept {
        for (int r = 0; r < countA; ++r) store<false>(p, last, a[r], r);
        for (int r = 0; r < countB; ++r) store<true>(p, last, b[r], r);
    }

    [[gnu::always_inline, gnu::target("avx2,fma")]] static inline __m256 guard8(__m256 v) noexcept {
        const __m256 g = _mm256_set1_ps(kFloatGuard);
        return _mm256_sub_ps(_mm256_add_ps(v, g), g);
    }

    // The lanes of `bits` (bit i: lane i) as a mask.
    [[gnu::always_inline, gnu::target("avx2,fma")]] static inline __m256 mask8(int bits) noexcept {
        const __m256i each = _mm256_setr_epi32(1, 2, 4, 8, 16, 32, 64, 128);
        const __m256i on = _mm256_and_si256(_mm256_set1_epi32(bits), each);
        return _mm256_castsi256_ps(_mm256_cmpeq_epi32(on, each));
    }

    // Register r's outputs y, saturated in its lanes that saturate.
    [[gnu::always_inline, gnu::target("avx2,fma")]] static inline __m256
    saturated8(const Plan& p, int r, __m256 y) noexcept {
        const int o = kLanes * r;
        const __m256 absMask = _mm256_castsi256_ps(_mm256_set1_epi32(INT32_MAX));
        const __m256 size = _mm256_and_ps(_mm256_add_ps(y, _mm256_load_ps(p.bias + o)), absMask);
        const __m256 d = _mm256_fmadd_ps(size, _mm256_load_ps(p.inv + o), _mm256_set1_ps(1.0f));
        return _mm256_blendv_ps(y, guard8(_mm256_div_ps(y, d)), _mm256_load_ps(p.satMask + o));
    }

    template <bool Sat, bool Full>
    [[gnu::always_inline, gnu::target("avx2,fma")]] static inline void
    section8(const Plan& p, const Hist& h, int r, __m256 in, __m256 mask) noexcept {
        const int o = kLanes * r;
        const __m256 x1 = _mm256_load_ps(h.x1 + o), x2 = _mm256_load_ps(h.x2 + o);
        const __m256 y1 = _mm256_load_ps(h.y1 + o), y2 = _mm256_load_ps(h.y2 + o);
        const __m256 bx = _mm256_fmadd_ps(_mm256_load_ps(p.b1 + o), x1,
                                          _mm256_mul_ps(_mm256_load_ps(p.b2 + o), x2));
        const __m256 share = _mm256_fnmadd_ps(_mm256_load_ps(p.a2 + o), y2,
                                              _mm256_fnmadd_ps(_mm256_load_ps(p.a1 + o), y1, bx));
        __m256 y = guard8(_mm256_fmadd_ps(_mm256_load_ps(p.b0 + o), in, share));
        if (Sat && p.saturates[r]) y = saturated8(p, r, y);
        if (Full) {
            _mm256_store_ps(h.x2 + o, in);
            _mm256_store_ps(h.y2 + o, y);
        } else {
            _mm256_store_ps(h.x2 + o, _mm256_blendv_ps(x1, in, mask));
            _mm256_store_ps(h.x1 + o, _mm256_blendv_ps(x2, x1, mask));
            _mm256_store_ps(h.y2 + o, _mm256_blendv_ps(y1, y, mask));
            _mm256_store_ps(h.y1 + o, _mm256_blendv_ps(y2, y1, mask));
        }
    }

    // The lanes at work in a register whose first lane pair works on sample lo
    // of the block: pair j on sample lo - j, if that is in the block.
    [[gnu::always_inline, gnu::target("avx2,fma")]] static inline __m256
    activeMask(int lo, int n) noexcept {
        const __m256i pairOf = _mm256_setr_epi32(0, 0, 1, 1, 2, 2, 3, 3);
        const __m256i begun = _mm256_cmpgt_epi32(_mm256_set1_epi32(lo + 1), pairOf);
        const __m256i notDone = _mm256_cmpgt_epi32(pairOf, _mm256_set1_epi32(lo - n));
        return _mm256_castsi256_ps(_mm256_and_si256(begun, notDone));
    }

    template <bool Sat> struct Pair {
        const Plan& p;
        const Hist& h;
        const double *xa, *xb;
        int t, n;

        template <bool Full, bool First>
        [[gnu::always_inline, gnu::target("avx2,fma")]] inline void step(int r) noexcept {
            const __m256 mask = Full ? _mm256_setzero_ps() : activeMask(t - kStride * r, n);
            // Each lane pair takes the pair below it: (6, 7, 0, 1, ..., 5).
            const __m256i up = _mm256_setr_epi32(6, 7, 0, 1, 2, 3, 4, 5);
            const __m256 own = _mm256_permutevar8x32_ps(_mm256_load_ps(h.y1 + kLanes * r), up);
            // The block's input is guarded as it enters; the register below's
            // outputs already are.
            __m256 carry;
            if (First) {
                const __m128d x = Full || t < n ? _mm_set_pd(xb[t], xa[t]) : _mm_setzero_pd();
                carry = guard8(_mm256_castps128_ps256(_mm_cvtpd_ps(x)));
            } else {
                carry = _mm256_permutevar8x32_ps(_mm256_load_ps(h.y1 + kLanes * r - kLanes), up);
            }
            const __m256 in = _mm256_blend_ps(own, carry, 0b00000011);
            section8<Sat, Full>(p, h, r, in, mask);
        }
    };

    // A step where the wavefront enters or leaves the chains: the registers
    // that have begun and are not done, highest first (a register reads the
    // one below it as it was a step ago, before that one moves its histories
    // on), with masks where some of their lanes wait or are done.
    template <int Stride, int Span, class Kernel>
    [[gnu::always_inline, gnu::target("avx2,fma")]] static inline void edge(Kernel& k, int regs,
                                                                            int t, int n) noexcept {
        for (int r = std::min(regs - 1, t / Stride); r >= 0; --r) {
            const int lo = t - Stride * r;
            if (lo - Span >= n) break; // this register and the ones below are done
            const bool full = lo >= Span && lo < n;
            if (r > 0) {
                if (full)
                    k.template step<true, false>(r);
                else
                    k.template step<false, false>(r);
            } else if (full) {
                k.template step<true, true>(0);
            } else {
                k.template step<false, true>(0);
            }
        }
    }

    // After a step: the chains' outputs that are in the block (their last
    // cascades in registers outA and outB, -1: none), and the turn.
    [[gnu::always_inline]] static inline void outputs(Hist& h, int outA, int outB, double* xa,
                                                      double* xb, int t, int n) noexcept {
        if (outA >= 0) {
            const int sa = t - (kStride * outA + kSpan);
            if (sa >= 0 && sa < n) xa[sa] = h.y2[kLanes * outA + 6];
        }
        if (outB >= 0) {
            const int sb = t - (kStride * outB + kSpan);
            if (sb >= 0 && sb < n) xb[sb] = h.y2[kLanes * outB + 7];
        }
        h.flip();
    }

    // The steps while the wavefront enters the chains (t below the last
    // register's start and below n), with Stride steps between two registers'
    // starts and Span = Stride - 1 (4 and 3 for the pair, 8 and 7 for the
    // chain): register t / Stride has begun, in full only from t % Stride ==
    // Span on; the ones below work in full.
    template <int Stride, int Span, class Kernel>
    [[gnu::always_inline, gnu::target("avx2,fma")]] static inline void enter(Kernel& k,
                                                                             int t) noexcept {
        int r = t / Stride;
        if (t % Stride != Span) {
            if (r > 0)
                k.template step<false, false>(r);
            else
                k.template step<false, true>(0);
            --r;
        }
        for (; r > 0; --r) k.template step<true, false>(r);
        if (r == 0) k.template step<true, true>(0);
    }

    // And while it leaves them (t at or past n and past the last register's
    // start): d = t - n; registers from d / Stride + 1 up work in full,
    // register d / Stride in its lanes above d % Stride, the ones below are
    // done.
    template <int Stride, int Span, class Kernel>
    [[gnu::always_inline, gnu::target("avx2,fma")]] static inline void
    leave(Kernel& k, int regs, int t, int n) noexcept {
        const int d = t - n;
        int r = regs - 1;
        for (; r > d / Stride; --r) k.template step<true, false>(r);
        if (d % Stride != Span) {
            if (r > 0)
                k.template step<false, false>(r);
            else
                k.template step<false, true>(0);
        }
    }

    // Returns which of the histories holds the values one sample back.
    template <bool Sat>
    [[gnu::target("avx2,fma")]] static int pair(Plan& p, int regs, int outA, int outB, double* xa,
                                                double* xb, int n) noexcept {
        const int last = kStride * regs - 1;
        Hist h(p);
        int t = 0;
        for (; t < std::min(last, n); ++t) {
            Pair<Sat> k{p, h, xa, xb, t, n};
            enter<kStride, kSpan>(k, t);
            outputs(h, outA, outB, xa, xb, t, n);
        }
        // Where the wavefront enters and leaves at once (blocks shorter than
        // the chains).
        for (; t < last; ++t) {
            Pair<Sat> k{p, h, xa, xb, t, n};
            edge<kStride, kSpan>(k, regs, t, n);
            outputs(h, outA, outB, xa, xb, t, n);
        }
        // Every register's every lane at work, every step's output in the block.
        const int offA = kStride * outA + kSpan, offB = kStride * outB + kSpan;
        for (; t < n; ++t) {
            Pair<Sat> k{p, h, xa, xb, t, n};
            for (int r = regs - 1; r > 0; --r) k.template step<true, false>(r);
            k.template step<true, true>(0);
            if (outA >= 0) xa[t - offA] = h.y2[kLanes * outA + 6];
            if (outB >= 0) xb[t - offB] = h.y2[kLanes * outB + 7];
            h.flip();
        }
        for (; t < n + last; ++t) {
            Pair<Sat> k{p, h, xa, xb, t, n};
            leave<kStride, kSpan>(k, regs, t, n);
            outputs(h, outA, outB, xa, xb, t, n);
        }
        return (n + kSpan) & 1;
    }

    // ---- One chain: register r holds cascades 2 r and 2 r + 1, lane i its
    // section i (at sample offset 8 r + i) ----

    static constexpr int kChainStride = 8, kChainSpan = 7;

    // Cascades 2 r and 2 r + 1 into register r, one in each half.
    [[gnu::target("avx2,fma")]] static void loadHalves(Plan& p, const Source& a, const Source& b,
                                                       int r) noexcept {
        float* const rows[kFloatRows] = {p.b0, p.b1, p.b2, p.a1, p.a2, p.satMask, p.bias, p.inv};
        float* const states[4] = {p.x[0], p.x[1], p.y[0], p.y[1]};
        const int o = kLanes * r;
        for (int k = 0; k < kFloatRows; ++k)
            _mm256_store_ps(rows[k] + o,
                            _mm256_set_m128(_mm_load_ps(b.rows[k]), _mm_load_ps(a.rows[k])));
        for (int k = 0; k < 4; ++k)
            _mm256_store_ps(states[k] + o,
                            _mm256_set_m128(_mm256_cvtpd_ps(_mm256_loadu_pd(b.state[k])),
                                            _mm256_cvtpd_ps(_mm256_loadu_pd(a.state[k]))));
        p.saturates[r] = a.saturates || b.saturates;
        p.anySaturates = p.anySaturates || p.saturates[r];
    }

    [[gnu::target("avx2,fma")]] static void loadChain(Plan& p, const MultiFilter* c,
                                                      int count) noexcept {
        p.anySaturates = false;
        for (int i = 0; i < count; i += 2) {
            if (i + 1 < count)
                loadHalves(p, Source(c[i]), Source(c[i + 1]), i / 2);
            else
                loadHalves(p, Source(c[i]), Source(), i / 2);
        }
    }

    [[gnu::target("avx2,fma")]] static void storeChain(const Plan& p, int last, MultiFilter* c,
                                                       int count) noexcept {
        for (int i = 0; i < count; ++i) {
            const int o = 4 * i;
            _mm256_storeu_pd(c[i].node1_, _mm256_cvtps_pd(_mm_load_ps(p.x[last] + o)));
            _mm256_storeu_pd(c[i].node2_, _mm256_cvtps_pd(_mm_load_ps(p.x[1 - last] + o)));
            c[i].node1_[kSections] = p.y[last][o + 3];
            c[i].node2_[kSections] = p.y[1 - last][o + 3];
        }
    }

    // The lanes at work in a register whose first lane works on sample lo of
    // the block: lane i on sample lo - i, if that is in the block.
    [[gnu::always_inline, gnu::target("avx2,fma")]] static inline __m256
    activeChainMask(int lo, int n) noexcept {
        const __m256i lane = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
        const __m256i begun = _mm256_cmpgt_epi32(_mm256_set1_epi32(lo + 1), lane);
        const __m256i notDone = _mm256_cmpgt_epi32(lane, _mm256_set1_epi32(lo - n));
        return _mm256_castsi256_ps(_mm256_and_si256(begun, notDone));
    }

    template <bool Sat> struct Chain {
        const Plan& p;
        const Hist& h;
        const double* x;
        int t, n;

        // Each lane takes the lane below's output (7, 0, 1, ..., 6), the lowest
        // the register below's highest (or the block's input); the cascades'
        // first sections (lanes 0 and 4) take theirs guarded.
        template <bool Full, bool First>
        [[gnu::always_inline, gnu::target("avx2,fma")]] inline void step(int r) noexcept {
            const __m256 mask =
                Full ? _mm256_setzero_ps() : activeChainMask(t - kChainStride * r, n);
            const __m256i up = _mm256_setr_epi32(7, 0, 1, 2, 3, 4, 5, 6);
            const __m256 own = _mm256_permutevar8x32_ps(_mm256_load_ps(h.y1 + kLanes * r), up);
            // The block's input is guarded as it enters; the sections' outputs
            // already are.
            __m256 carry;
            if (First) {
                carry = guard8(_mm256_set1_ps(Full || t < n ? static_cast<float>(x[t]) : 0.0f));
            } else {
                carry = _mm256_permutevar8x32_ps(_mm256_load_ps(h.y1 + kLanes * r - kLanes), up);
            }
            section8<Sat, Full>(p, h, r, _mm256_blend_ps(own, carry, 0b00000001), mask);
        }
    };

    // The full steps (t up to n) of a chain in one register, with its
    // histories held in registers instead of going through the plan's every
    // step: Chain::step's operations, the histories moving on as the turns
    // would move them. Returns the step after them.
    template <bool Sat>
    [[gnu::always_inline, gnu::target("avx2,fma")]] static inline int
    chainInRegisters(const Plan& p, Hist& h, int out, double* x, int t, int n) noexcept {
        if (t >= n) return t;
        __m256 x1 = _mm256_load_ps(h.x1), x2 = _mm256_load_ps(h.x2);
        __m256 y1 = _mm256_load_ps(h.y1), y2 = _mm256_load_ps(h.y2);
        const __m256 b0 = _mm256_load_ps(p.b0), b1 = _mm256_load_ps(p.b1);
        const __m256 b2 = _mm256_load_ps(p.b2), a1 = _mm256_load_ps(p.a1);
        const __m256 a2 = _mm256_load_ps(p.a2);
        const bool saturates = Sat && p.saturates[0];
        const __m256i up = _mm256_setr_epi32(7, 0, 1, 2, 3, 4, 5, 6);
        const __m256i pick = _mm256_set1_epi32(out);
        const int first = t;
        for (; t < n; ++t) {
            const __m256 own = _mm256_permutevar8x32_ps(y1, up);
            const __m256 carry = guard8(_mm256_set1_ps(static_cast<float>(x[t])));
            const __m256 in = _mm256_blend_ps(own, carry, 0b00000001);
            const __m256 bx = _mm256_fmadd_ps(b1, x1, _mm256_mul_ps(b2, x2));
            const __m256 share = _mm256_fnmadd_ps(a2, y2, _mm256_fnmadd_ps(a1, y1, bx));
            __m256 y = guard8(_mm256_fmadd_ps(b0, in, share));
            if (saturates) y = saturated8(p, 0, y);
            x2 = x1;
            x1 = in;
            y2 = y1;
            y1 = y;
            x[t - out] = _mm_cvtss_f32(_mm256_castps256_ps128(_mm256_permutevar8x32_ps(y, pick)));
        }
        if ((t - first) & 1) h.flip();
        _mm256_store_ps(h.x1, x1);
        _mm256_store_ps(h.x2, x2);
        _mm256_store_ps(h.y1, y1);
        _mm256_store_ps(h.y2, y2);
        return t;
    }

    // The chain's last section is lane `out`; returns which of the histories
    // holds the values one sample back.
    template <bool Sat>
    [[gnu::target("avx2,fma")]] static int chain(Plan& p, int regs, int out, double* x,
                                                 int n) noexcept {
        const int last = kChainStride * regs - 1;
        Hist h(p);
        auto output = [&](int t) {
            const int s = t - out;
            if (s >= 0 && s < n) x[s] = h.y2[out];
            h.flip();
        };
        int t = 0;
        for (; t < std::min(last, n); ++t) {
            Chain<Sat> k{p, h, x, t, n};
            enter<kChainStride, kChainSpan>(k, t);
            output(t);
        }
        for (; t < last; ++t) {
            Chain<Sat> k{p, h, x, t, n};
            edge<kChainStride, kChainSpan>(k, regs, t, n);
            output(t);
        }
        if (regs == 1) t = chainInRegisters<Sat>(p, h, out, x, t, n);
        for (; t < n; ++t) {
            Chain<Sat> k{p, h, x, t, n};
            for (int r = regs - 1; r > 0; --r) k.template step<true, false>(r);
            k.template step<true, true>(0);
            x[t - out] = h.y2[out];
            h.flip();
        }
        for (; t < n + last; ++t) {
            Chain<Sat> k{p, h, x, t, n};
            leave<kChainStride, kChainSpan>(k, regs, t, n);
            output(t);
        }
        return (n + kChainSpan) & 1;
    }
};

void MultiFilter::chainBlockNarrow(MultiFilter* cascades, int count, double* x, int n) noexcept {
    if (n <= 0) return;
    for (int g = 0; g < count; g += kGroup) {
        const int group = std::min(kGroup, count - g);
        const int lanes = group * kSections;
        Wavefront::Plan p;
        Wavefront::loadChain(p, cascades + g, group, 2);
        if (p.anySaturates)
            Wavefront::chainNarrow<true>(p, lanes / 2, x, n);
        else
            Wavefront::chainNarrow<false>(p, lanes / 2, x, n);
        Wavefront::storeChain(p, cascades + g, group);
    }
}

void MultiFilter::chainBlockWide(MultiFilter* cascades, int count, double* x, int n) noexcept {
    if (n <= 0) return;
    for (int g = 0; g < count; g += kGroup) {
        const int group = std::min(kGroup, count - g);
        const int lanes = group * kSections;
        Wavefront::Plan p;
        Wavefront::loadChain(p, cascades + g, group, 4);
        if (p.anySaturates)
            Wavefront::chainWide<true>(p, lanes / 4, x, n);
        else
            Wavefront::chainWide<false>(p, lanes / 4, x, n);
        Wavefront::storeChain(p, cascades + g, group);
    }
}

void MultiFilter::chainPairBlockNarrow(MultiFilter* a, double* xa, int countA, MultiFilter* b,
                                       double* xb, int countB, int n) noexcept {
    if (n <= 0) return;
    for (int g = 0; g < std::max(countA, countB); g += kGroup) {
        const int inA = std::clamp(countA - g, 0, kGroup), inB = std::clamp(countB - g, 0, kGroup);
        const int lanes = 2 * std::max(inA, inB) * kSections;
        Wavefront::Plan p;
        Wavefront::loadPair(p, a + g, inA, b + g, inB, 2);
        // One section of each chain to a register.
        const int outA = inA * kSections - 1, outB = inB * kSections - 1;
        if (p.anySaturates)
            Wavefront::pairNarrow<true>(p, lanes / 2, outA, outB, xa, xb, n);
        else
            Wavefront::pairNarrow<false>(p, lanes / 2, outA, outB, xa, xb, n);
        Wavefront::storePair(p, a + g, inA, b + g, inB);
    }
}

void MultiFilter::chainPairBlockWide(MultiFilter* a, double* xa, int countA, MultiFilter* b,
                                     double* xb, int countB, int n) noexcept {
    if (n <= 0) return;
    for (int g = 0; g < std::max(countA, countB); g += kGroup) {
        const int inA = std::clamp(countA - g, 0, kGroup), inB = std::clamp(countB - g, 0, kGroup);
        const int lanes = 2 * std::max(inA, inB) * kSections;
        Wavefront::Plan p;
        Wavefront::loadPair(p, a + g, inA, b + g, inB, 4);
        // Two sections of each chain to a register.
        const int outA = inA * kSections / 2 - 1, outB = inB * kSections / 2 - 1;
        if (p.anySaturates)
            Wavefront::pairWide<true>(p, lanes / 4, outA, outB, xa, xb, n);
        else
            Wavefront::pairWide<false>(p, lanes / 4, outA, outB, xa, xb, n);
        Wavefront::storePair(p, a + g, inA, b + g, inB);
    }
}

void MultiFilter::chainPairBlockFloat(MultiFilter* a, double* xa, int countA, MultiFilter* b,
                                      double* xb, int countB, int n) noexcept {
    if (n <= 0) return;
    for (int g = 0; g < std::max(countA, countB); g += kGroup) {
        const int inA = std::clamp(countA - g, 0, kGroup), inB = std::clamp(countB - g, 0, kGroup);
        FloatWavefront::Plan p;
        FloatWavefront::loadPair(p, a + g, inA, b + g, inB);
        const int regs = std::max(inA, inB);
        const int last = p.anySaturates
                             ? FloatWavefront::pair<true>(p, regs, inA - 1, inB - 1, xa, xb, n)
                             : FloatWavefront::pair<false>(p, regs, inA - 1, inB - 1, xa, xb, n);
        FloatWavefront::storePair(p, last, a + g, inA, b + g, inB);
    }
}

void MultiFilter::chainBlockFloat(MultiFilter* cascades, int count, double* x, int n) noexcept {
    if (n <= 0) return;
    for (int g = 0; g < count; g += 2 * kGroup) {
        const int group = std::min(2 * kGroup, count - g);
        FloatWavefront::Plan p;
        FloatWavefront::loadChain(p, cascades + g, group);
        const int regs = (group + 1) / 2;
        const int out = kSections * group - 1;
        const int last = p.anySaturates ? FloatWavefront::chain<true>(p, regs, out, x, n)
                                        : FloatWavefront::chain<false>(p, regs, out, x, n);
        FloatWavefront::storeChain(p, last, cascades + g, group);
    }
}

bool MultiFilter::floatSuits(const MultiFilter* cascades, int count) noexcept {
    double gain = 0.0;
    for (int c = 0; c < count; ++c) gain += cascades[c].roundoffSum_;
    return gain <= kFloatRoundoffGain;
}

void MultiFilter::processChainBlock(MultiFilter* cascades, int count, double* x, int n) noexcept {
    if (count <= 0) return;
    if (cascades[0].wide_ && floatSuits(cascades, count))
        chainBlockFloat(cascades, count, x, n);
    else if (cascades[0].wide_)
        chainBlockWide(cascades, count, x, n);
    else
        chainBlockNarrow(cascades, count, x, n);
}

void MultiFilter::processChainPairBlock(MultiFilter* a, double* xa, MultiFilter* b, double* xb,
                                        int count, int n) noexcept {
    processChainPairBlock(a, xa, count, b, xb, count, n);
}

void MultiFilter::processChainPairBlock(MultiFilter* a, double* xa, int countA, MultiFilter* b,
                                        double* xb, int countB, int n) noexcept {
    if (countA <= 0) {
        processChainBlock(b, countB, xb, n);
    } else if (countB <= 0) {
        processChainBlock(a, countA, xa, n);
    } else if (a[0].wide_ && floatSuits(a, countA) && floatSuits(b, countB)) {
        chainPairBlockFloat(a, xa, countA, b, xb, countB, n);
    } else if (a[0].wide_) {
        chainPairBlockWide(a, xa, countA, b, xb, countB, n);
    } else {
        chainPairBlockNarrow(a, xa, countA, b, xb, countB, n);
    }
}

} // namespace zel
