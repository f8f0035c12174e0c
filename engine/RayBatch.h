// A rotating unit's rays up to their directivity sections, all rays at once: for
// each ray where it sees the mouth (the retarded angle and the lobe), the input
// delayed by the ray's Doppler delay and the distance attenuation. The rays go
// four to a vector register where the processor has AVX2 (chosen once at load)
// and two otherwise (SSE2, the baseline of both builds); each group of rays runs
// from the angle read to the Catmull-Rom sums in registers. The history's four
// neighbours of a delayed input lie side by side (the history keeps a copy past
// its end), so each ray's are read with one or two loads and transposed into
// place; so are the attenuation table's, from its copy padded with its end
// entries (the neighbours clamped at the ends).
// Every value takes the same operations in the same order as a single ray's code
// (RayTrack::lobeNow, SourceHistory::inputBefore, AttenuationTable::atPosition):
// on the two-ray path the results are the same to the bit; the four-ray path
// fuses each multiply into the add after it (wide_rays), which agrees to a few
// units in the last place.
// Audio-thread object.
#pragma once

#include "engine/AttenuationTable.h"
#include "engine/RayLobe.h"
#include "engine/RayTrack.h"
#include "engine/SourceHistory.h"
#include "engine/WidePaths.h"
#include "engine/WideRayMath.h"

#include <algorithm>
#include <immintrin.h>
#include <limits>

namespace zel {

template <int N> class RayBatch {
public:
    static_assert(N % 2 == 0, "rays go two or four to a register");
    // The arrays hold whole groups of four; the lanes past N compute values
    // nobody reads (from zero geometry: finite, and every index they make stays
    // in bounds like any other).
    static constexpr int kLanes = (N + 3) / 4 * 4;

    // A ray's geometry and rate terms, taken again whenever they change.
    void load(int i, const RayTrack& ray) {
        retard_[i] = ray.retardSamples;
        angleOffset_[i] = ray.path.angle * ray.path.sign;
        sign_[i] = ray.path.sign;
        halfWidth_[i] = ray.lobe.halfWidth;
        edgeScale_[i] = ray.lobe.edgeScale;
        middleScale_[i] = ray.lobe.middleScale;
        pathSamples_[i] = ray.pathSamples;
        tablePos_[i] = ray.tablePos;
    }

    // What a run needs besides the rays. fmSamples: the mouth's Doppler radius in
    // samples; radius (metres) and tableStepsPerMetre turn a displacement into
    // attenuation-table steps; closest: the least displacement the delays and
    // attenuations follow (the drum's mouth comes no closer), -infinity for none;
    // mouthOffset: added to the displacement in the delay only (a cross unit,
    // whose delays are measured from the microphone, keeps them positive so).
    struct Inputs {
        const SourceHistory& history;
        const AttenuationTable& table;
        double fmSamples;
        double radius;
        double tableStepsPerMetre;
        double closest;
        double mouthOffset = 0.0;
    };

    // Every ray's values of one sample.
    struct Results {
        alignas(32) double theta[kLanes]{};  // the two-ray path's retarded angles, [0, 1)
        alignas(32) double lambda[kLanes]{}; // displacement, at least closest
        alignas(32) double mu[kLanes]{};     // lobe phase, radians
        alignas(32) double input[kLanes]{};
        alignas(32) double attenuation[kLanes]{}; // before the room factor
    };

    // This sample's values of every ray: delay = (lambda + mouthOffset) *
    // fmSamples + the ray's path.
    void run(const Inputs& in) {
        if (useWidePaths())
            runWide(in);
        else
            runNarrow(in);
    }
    void run(const SourceHistory& history, const AttenuationTable& table, double fmSamples,
             double radius, double tableStepsPerMetre, double closest) {
        run({history, table, fmSamples, radius, tableStepsPerMetre, closest});
    }

    // The values of n consecutive samples into out[0..n), as n runs would give
    // them: sample j reads the history as it stood with the write index at
    // firstWrite + j and has the Doppler radius fmSamples[j] (in.fmSamples is not
    // used). The history may already hold later samples: the caller makes sure
    // no ray reads where they were written. The samples do not depend on one
    // another: each step (angles, lobes, reads) goes through all of them before
    // the next, so the processor overlaps the samples' chains of that step.
    void runSeries(const Inputs& in, int firstWrite, const double* fmSamples, int n, Results* out) {
        if (useWidePaths())
            runSeriesWide(in, firstWrite, fmSamples, n, out);
        else
            runSeriesNarrow(in, firstWrite, fmSamples, n, out);
    }

    // The two paths by name, for the tests that hold them against each other
    // (run picks one).
    void runNarrow(const Inputs& in) { narrowSample(shared(in), now_); }
    [[gnu::target("avx2,fma")]] void runWide(const Inputs& in) { wideSample(shared(in), now_); }
    void runSeriesNarrow(const Inputs& in, int firstWrite, const double* fmSamples, int n,
                         Results* out) {
        Shared s = shared(in);
        for (int j = 0; j < n; ++j) {
            s.w = static_cast<double>((firstWrite + j) & kMask);
            for (int i = 0; i < N; i += 2) narrowAngles(i, s, out[j]);
        }
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < N; i += 2) narrowLobes(i, s, out[j]);
        for (int j = 0; j < n; ++j) {
            s.w = static_cast<double>((firstWrite + j) & kMask);
            s.fmSamples = fmSamples[j];
            for (int i = 0; i < N; i += 2) narrowReads(i, s, out[j]);
        }
    }
    [[gnu::target("avx2,fma")]] void runSeriesWide(const Inputs& in, int firstWrite,
                                                   const double* fmSamples, int n, Results* out) {
        if (unbounded(in))
            series<true>(in, firstWrite, fmSamples, n, out);
        else
            series<false>(in, firstWrite, fmSamples, n, out);
    }

    // Results of the last run, per ray.
    double lambda(int i) const { return now_.lambda[i]; }
    double mu(int i) const { return now_.mu[i]; }
    double input(int i) const { return now_.input[i]; }
    double attenuation(int i) const { return now_.attenuation[i]; }
    const double* attenuations() const { return now_.attenuation; }
    const Results& results() const { return now_; }

private:
    static constexpr int kLength = SourceHistory::kLength;
    static constexpr int kMask = SourceHistory::kMask;
    static constexpr int kLast = cabinet::kAttenuationLast;

    // The run's inputs as the groups read them.
    struct Shared {
        const double* angles;
        const double* inputs;          // 2 kLength entries
        const double* table;           // kLast + 1 entries
        const double* tableNeighbours; // AttenuationTable::clampedNeighbours
        double w;
        double fmSamples;
        double radius;
        double tableStepsPerMetre;
        double closest;
        double mouthOffset;
    };
    static Shared shared(const Inputs& in) {
        return {in.history.angles(),
                in.history.inputs(),
                in.table.values().data(),
                in.table.clampedNeighbours(),
                static_cast<double>(in.history.writeIndex()),
                in.fmSamples,
                in.radius,
                in.tableStepsPerMetre,
                in.closest,
                in.mouthOffset};
    }

    // ---- two rays to an SSE2 register ----

    void narrowSample(const Shared& s, Results& o) {
        for (int i = 0; i < N; i += 2) narrowAngles(i, s, o);
        for (int i = 0; i < N; i += 2) narrowLobes(i, s, o);
        for (int i = 0; i < N; i += 2) narrowReads(i, s, o);
    }

    // The retarded angle relative to rays i and i + 1, in [0, 1).
    void narrowAngles(int i, const Shared& s, Results& o) {
        const __m128d len = _mm_set1_pd(kLength);
        const __m128d back = _mm_add_pd(_mm_sub_pd(_mm_set1_pd(s.w), load2(retard_ + i)), len);
        const __m128i at = _mm_and_si128(_mm_cvttpd_epi32(back), _mm_set1_epi32(kMask));
        const __m128d angle =
            _mm_loadh_pd(_mm_load_sd(s.angles + lane(at, 0)), s.angles + lane(at, 1));
        _mm_storeu_pd(o.theta + i, fraction(_mm_sub_pd(angle, load2(angleOffset_ + i))));
    }

    void narrowLobes(int i, const Shared& s, Results& o) {
        __m128d lambda, mu;
        lobe(load2(o.theta + i), i, lambda, mu);
        _mm_storeu_pd(o.lambda + i, _mm_max_pd(_mm_set1_pd(s.closest), lambda)); // std::max
        _mm_storeu_pd(o.mu + i, mu);
    }

    // The delayed input and the attenuation of rays i and i + 1.
    void narrowReads(int i, const Shared& s, Results& o) {
        const __m128d zero = _mm_setzero_pd();
        const __m128d len = _mm_set1_pd(kLength);
        const __m128d lambda = load2(o.lambda + i);

        // The delayed input: readCubic's position, wrapped into the ring.
        const __m128d delay = _mm_add_pd(
            _mm_mul_pd(_mm_add_pd(lambda, _mm_set1_pd(s.mouthOffset)), _mm_set1_pd(s.fmSamples)),
            load2(pathSamples_ + i));
        __m128d position = _mm_sub_pd(_mm_set1_pd(s.w), delay);
        position = select(_mm_cmplt_pd(position, zero), _mm_add_pd(position, len), position);
        const __m128d inside =
            _mm_and_pd(_mm_cmpge_pd(position, zero), _mm_cmplt_pd(position, len));
        if (_mm_movemask_pd(inside) != 0x3) position = wrapLanes(position);
        const __m128i whole = _mm_cvttpd_epi32(position);
        const __m128d t = _mm_sub_pd(position, _mm_cvtepi32_pd(whole));
        // whole lies in [0, kLength): the ring index needs no signed remainder.
        const __m128i k =
            _mm_and_si128(_mm_add_epi32(whole, _mm_set1_epi32(kLength - 1)), _mm_set1_epi32(kMask));
        const double* r0 = s.inputs + lane(k, 0);
        const double* r1 = s.inputs + lane(k, 1);
        const __m128d a01 = _mm_loadu_pd(r0), a23 = _mm_loadu_pd(r0 + 2);
        const __m128d b01 = _mm_loadu_pd(r1), b23 = _mm_loadu_pd(r1 + 2);
        _mm_storeu_pd(o.input + i,
                      catmullRom(t, _mm_unpacklo_pd(a01, b01), _mm_unpackhi_pd(a01, b01),
                                 _mm_unpacklo_pd(a23, b23), _mm_unpackhi_pd(a23, b23)));

        // The attenuation: lookupCubic's neighbours, clamped at the table's ends.
        const __m128d tableAt =
            _mm_add_pd(load2(tablePos_ + i), _mm_mul_pd(_mm_mul_pd(lambda, _mm_set1_pd(s.radius)),
                                                        _mm_set1_pd(s.tableStepsPerMetre)));
        // max picks 0 for NaN, which the ends below replace anyway.
        const __m128d clamped =
            _mm_min_pd(_mm_max_pd(tableAt, zero), _mm_set1_pd(static_cast<double>(kLast)));
        const __m128i entry = _mm_cvttpd_epi32(clamped);
        const __m128d u = _mm_sub_pd(clamped, _mm_cvtepi32_pd(entry));
        // Each ray's four clamped neighbours in a row, as for the history.
        const double* n0 = s.tableNeighbours + lane(entry, 0);
        const double* n1 = s.tableNeighbours + lane(entry, 1);
        const __m128d c01 = _mm_loadu_pd(n0), c23 = _mm_loadu_pd(n0 + 2);
        const __m128d d01 = _mm_loadu_pd(n1), d23 = _mm_loadu_pd(n1 + 2);
        __m128d gain = catmullRom(u, _mm_unpacklo_pd(c01, d01), _mm_unpackhi_pd(c01, d01),
                                  _mm_unpacklo_pd(c23, d23), _mm_unpackhi_pd(c23, d23));
        // Beyond either end: the end entry itself (not a number: the first).
        gain = select(_mm_cmpge_pd(tableAt, _mm_set1_pd(static_cast<double>(kLast))),
                      _mm_set1_pd(s.table[kLast]), gain);
        gain = select(_mm_cmpngt_pd(tableAt, zero), _mm_set1_pd(s.table[0]), gain);
        _mm_storeu_pd(o.attenuation + i, gain);
    }

    // lobePoint for rays i and i + 1: each stretch's phase is computed for both
    // rays and each ray's stretch picked by a mask.
    void lobe(__m128d theta, int i, __m128d& lambdaOut, __m128d& muOut) const {
        const __m128d one = _mm_set1_pd(1.0);
        const __m128d pi = _mm_set1_pd(kPi);
        const __m128d halfPi = _mm_set1_pd(kPi / 2);
        const __m128d negative = _mm_set1_pd(-0.0);
        const __m128d hw = load2(halfWidth_ + i);
        const __m128d sign = load2(sign_ + i);
        const __m128d edge = load2(edgeScale_ + i);
        // The two edge stretches never overlap: the half-width is at most a
        // quarter turn.
        const __m128d rising = _mm_cmple_pd(theta, hw);
        const __m128d falling = _mm_cmpge_pd(theta, _mm_sub_pd(one, hw));
        const __m128d muRising = _mm_mul_pd(_mm_sub_pd(theta, hw), edge);
        const __m128d muFalling = _mm_mul_pd(_mm_sub_pd(theta, _mm_sub_pd(one, hw)), edge);
        const __m128d muMiddle = _mm_mul_pd(_mm_sub_pd(theta, hw), load2(middleScale_ + i));
        const __m128d mu = select(rising, muRising, select(falling, muFalling, muMiddle));
        const __m128d x = select(_mm_cmpgt_pd(mu, halfPi), _mm_sub_pd(pi, mu), mu);
        const __m128d lambda = _mm_mul_pd(lobeSineSeries(x), sign);
        const __m128d muSigned = _mm_mul_pd(mu, sign);
        lambdaOut = _mm_xor_pd(lambda, _mm_and_pd(falling, negative));
        muOut = select(falling, _mm_sub_pd(muSigned, pi), muSigned);
    }

    // fractionOf, two values at once: truncation stepped down for negative
    // values; the library's floor for any value out of the integer range.
    static __m128d fraction(__m128d x) {
        constexpr double kIntRange = 1e9;
        const __m128d inRange = _mm_and_pd(_mm_cmpgt_pd(x, _mm_set1_pd(-kIntRange)),
                                           _mm_cmplt_pd(x, _mm_set1_pd(kIntRange)));
        if (_mm_movemask_pd(inRange) != 0x3) {
            alignas(16) double v[2];
            _mm_storeu_pd(v, x);
            return _mm_set_pd(fractionOf(v[1]), fractionOf(v[0]));
        }
        const __m128d whole = _mm_cvtepi32_pd(_mm_cvttpd_epi32(x));
        const __m128d down =
            select(_mm_cmpgt_pd(whole, x), _mm_sub_pd(whole, _mm_set1_pd(1.0)), whole);
        return _mm_sub_pd(x, down);
    }

    // readCubic's slow wrap for positions the fast checks reject.
    static __m128d wrapLanes(__m128d position) {
        alignas(16) double p[2];
        _mm_storeu_pd(p, position);
        for (double& v : p)
            if (!(v >= 0.0 && v < kLength)) v = interp_detail::wrapInto(v, kLength);
        return _mm_loadu_pd(p);
    }

    static __m128d load2(const double* p) { return _mm_loadu_pd(p); }
    static int lane(__m128i v, int n) {
        return _mm_cvtsi128_si32(n == 0 ? v : _mm_srli_si128(v, 4));
    }

    // a where mask is set, b elsewhere.
    static __m128d select(__m128d mask, __m128d a, __m128d b) {
        return _mm_or_pd(_mm_and_pd(mask, a), _mm_andnot_pd(mask, b));
    }

    // lobeSineFolded, two values at once, with the same operations in the same
    // order.
    static __m128d lobeSineSeries(__m128d x) {
        const __m128d x2 = _mm_mul_pd(x, x);
        __m128d sum = _mm_set1_pd(kLobeSineSeries[7]);
        for (int n = 6; n >= 0; --n)
            sum = _mm_add_pd(_mm_mul_pd(sum, x2), _mm_set1_pd(kLobeSineSeries[n]));
        return _mm_add_pd(x, _mm_mul_pd(_mm_mul_pd(x, x2), sum));
    }

    // interp_detail::catmullRom, two values at once, the same operations.
    static __m128d catmullRom(__m128d t, __m128d p0, __m128d p1, __m128d p2, __m128d p3) {
        const __m128d half = _mm_set1_pd(0.5);
        const __m128d c1 = _mm_mul_pd(half, _mm_sub_pd(p2, p0));
        const __m128d c2 = _mm_sub_pd(_mm_add_pd(_mm_sub_pd(p0, _mm_mul_pd(_mm_set1_pd(2.5), p1)),
                                                 _mm_mul_pd(_mm_set1_pd(2.0), p2)),
                                      _mm_mul_pd(half, p3));
        const __m128d c3 = _mm_add_pd(_mm_mul_pd(half, _mm_sub_pd(p3, p0)),
                                      _mm_mul_pd(_mm_set1_pd(1.5), _mm_sub_pd(p1, p2)));
        return _mm_add_pd(
            _mm_mul_pd(_mm_add_pd(_mm_mul_pd(_mm_add_pd(_mm_mul_pd(c3, t), c2), t), c1), t), p1);
    }

    // ---- four rays to an AVX2 register: the same steps ----

    // Rays that follow the mouth wherever it goes (no least displacement) and
    // delays without a mouth offset, as a microphone's horn rays have: there
    // max(closest, lambda) is lambda to the bit, and lambda + 0 is lambda but
    // for a zero's sign (-0 + 0 is +0). That sign reaches the fused delay
    // lambda * fm + path only as the sign of a zero product, so the delay can
    // differ at most in the sign of a zero (a zero path), and the position
    // w - delay (w >= 0) keeps no such sign. The series leaves both steps out.
    static bool unbounded(const Inputs& in) {
        return in.closest == -std::numeric_limits<double>::infinity() && in.mouthOffset == 0.0;
    }
    template <bool Unbounded>
    [[gnu::target("avx2,fma"), gnu::always_inline]] inline void
    series(const Inputs& in, int firstWrite, const double* fmSamples, int n, Results* out) {
        Shared s = shared(in);
        const WideConstants c = wideConstants(s);
        // The angle goes straight into the lobe: the retarded angle stays in a
        // register.
        for (int j = 0; j < n; ++j) {
            s.w = static_cast<double>((firstWrite + j) & kMask);
            for (int i = 0; i < N; i += 4) wideLobes<Unbounded>(i, s, wideAngles(i, s), out[j]);
        }
        for (int j = 0; j < n; ++j) {
            s.w = static_cast<double>((firstWrite + j) & kMask);
            s.fmSamples = fmSamples[j];
            for (int i = 0; i < N; i += 4) wideReads<Unbounded>(i, s, c, out[j]);
        }
    }

    // The run's values the reads use in every group, set up once: the table's
    // end entries (the results' stores could otherwise reach them, as far as
    // the compiler knows, so they would be read again for every group).
    struct WideConstants {
        __m256d first;
        __m256d last;
    };
    [[gnu::target("avx2,fma"), gnu::always_inline]] static inline WideConstants
    wideConstants(const Shared& s) {
        return {_mm256_set1_pd(s.table[0]), _mm256_set1_pd(s.table[kLast])};
    }

    [[gnu::target("avx2,fma"), gnu::always_inline]] inline void wideSample(const Shared& s,
                                                                           Results& o) {
        const WideConstants c = wideConstants(s);
        for (int i = 0; i < N; i += 4) wideLobes(i, s, wideAngles(i, s), o);
        for (int i = 0; i < N; i += 4) wideReads(i, s, c, o);
    }

    // The retarded angle relative to rays i to i + 3, in [0, 1).
    [[gnu::target("avx2,fma"), gnu::always_inline]] inline __m256d wideAngles(int i,
                                                                              const Shared& s) {
        const __m256d len = _mm256_set1_pd(kLength);
        const __m256d back =
            _mm256_add_pd(_mm256_sub_pd(_mm256_set1_pd(s.w), _mm256_loadu_pd(retard_ + i)), len);
        const __m128i at = _mm_and_si128(_mm256_cvttpd_epi32(back), _mm_set1_epi32(kMask));
        const __m256d x = _mm256_sub_pd(pick(s.angles, at), _mm256_loadu_pd(angleOffset_ + i));
        // x - floor(x) is fractionOf's value for every x (also out of range and NaN).
        return _mm256_sub_pd(x, _mm256_floor_pd(x));
    }

    // lobePoint.
    template <bool Unbounded = false>
    [[gnu::target("avx2,fma"), gnu::always_inline]] inline void
    wideLobes(int i, const Shared& s, __m256d theta, Results& o) {
        __m256d lambda, mu;
        wide_rays::lobePoints(theta, _mm256_loadu_pd(halfWidth_ + i), _mm256_loadu_pd(sign_ + i),
                              _mm256_loadu_pd(edgeScale_ + i), _mm256_loadu_pd(middleScale_ + i),
                              lambda, mu);
        if constexpr (!Unbounded)
            lambda = _mm256_max_pd(_mm256_set1_pd(s.closest), lambda); // std::max(lambda, closest)
        _mm256_storeu_pd(o.lambda + i, lambda);
        _mm256_storeu_pd(o.mu + i, mu);
    }

    template <bool Unbounded = false>
    [[gnu::target("avx2,fma"), gnu::always_inline]] inline void
    wideReads(int i, const Shared& s, const WideConstants& c, Results& o) {
        const __m256d zero = _mm256_setzero_pd();
        const __m256d len = _mm256_set1_pd(kLength);
        const __m256d lambda = _mm256_loadu_pd(o.lambda + i);

        // The delayed input.
        const __m256d lead =
            Unbounded ? lambda : _mm256_add_pd(lambda, _mm256_set1_pd(s.mouthOffset));
        const __m256d delay =
            _mm256_fmadd_pd(lead, _mm256_set1_pd(s.fmSamples), _mm256_loadu_pd(pathSamples_ + i));
        __m256d position = _mm256_sub_pd(_mm256_set1_pd(s.w), delay);
        position = _mm256_blendv_pd(position, _mm256_add_pd(position, len),
                                    _mm256_cmp_pd(position, zero, _CMP_LT_OQ));
        const __m256d inside = _mm256_and_pd(_mm256_cmp_pd(position, zero, _CMP_GE_OQ),
                                             _mm256_cmp_pd(position, len, _CMP_LT_OQ));
        if (_mm256_movemask_pd(inside) != 0xF) position = wide_rays::wrapped(position, kLength);
        const __m128i whole = _mm256_cvttpd_epi32(position);
        const __m256d t = _mm256_sub_pd(position, _mm256_cvtepi32_pd(whole));
        const __m128i k =
            _mm_and_si128(_mm_add_epi32(whole, _mm_set1_epi32(kLength - 1)), _mm_set1_epi32(kMask));
        // Each ray's four neighbours in a row; transposed, one neighbour per register.
        __m256d p0, p1, p2, p3;
        wide_rays::neighbours(s.inputs, k, p0, p1, p2, p3);
        _mm256_storeu_pd(o.input + i, wide_rays::catmullRom(t, p0, p1, p2, p3));

        // The attenuation.
        const __m256d last = _mm256_set1_pd(static_cast<double>(kLast));
        const __m256d tableAt =
            _mm256_fmadd_pd(_mm256_mul_pd(lambda, _mm256_set1_pd(s.radius)),
                            _mm256_set1_pd(s.tableStepsPerMetre), _mm256_loadu_pd(tablePos_ + i));
        const __m256d clamped = _mm256_min_pd(_mm256_max_pd(tableAt, zero), last);
        const __m128i entry = _mm256_cvttpd_epi32(clamped);
        const __m256d u = _mm256_sub_pd(clamped, _mm256_cvtepi32_pd(entry));
        __m256d q0, q1, q2, q3;
        wide_rays::neighbours(s.tableNeighbours, entry, q0, q1, q2, q3);
        __m256d gain = wide_rays::catmullRom(u, q0, q1, q2, q3);
        gain = _mm256_blendv_pd(gain, c.last, _mm256_cmp_pd(tableAt, last, _CMP_GE_OQ));
        gain = _mm256_blendv_pd(gain, c.first, _mm256_cmp_pd(tableAt, zero, _CMP_NGT_UQ));
        _mm256_storeu_pd(o.attenuation + i, gain);
    }

    // base[index] for four indices (at least 0): four loads, which cost less
    // than a gather.
    [[gnu::target("avx2,fma"), gnu::always_inline]] static inline __m256d pick(const double* base,
                                                                               __m128i index) {
        using wide_rays::indexLane;
        const __m128d lo =
            _mm_loadh_pd(_mm_load_sd(base + indexLane(index, 0)), base + indexLane(index, 1));
        const __m128d hi =
            _mm_loadh_pd(_mm_load_sd(base + indexLane(index, 2)), base + indexLane(index, 3));
        return _mm256_insertf128_pd(_mm256_castpd128_pd256(lo), hi, 1);
    }

    // Per ray, from the geometry and the rate.
    alignas(32) double retard_[kLanes]{};
    alignas(32) double angleOffset_[kLanes]{};
    alignas(32) double sign_[kLanes]{};
    alignas(32) double halfWidth_[kLanes]{};
    alignas(32) double edgeScale_[kLanes]{};
    alignas(32) double middleScale_[kLanes]{};
    alignas(32) double pathSamples_[kLanes]{};
    alignas(32) double tablePos_[kLanes]{};
    // The last run's sample.
    Results now_;
};

} // namespace zel
