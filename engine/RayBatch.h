// A rotating unit's rays up to their directivity sections, all rays at once: for
// each ray where it sees the mouth (the retarded angle and the lobe), the input
// delayed by the ray's Doppler delay and the distance attenuation. Where the
// processor has AVX2 (chosen once at load) the rays go eight to a register in
// single precision (a last group of four to half a register); otherwise two to
// an SSE2 register in double (the baseline of both builds). Each group of rays
// runs from the angle read to the Catmull-Rom sums in registers. The history's
// four neighbours of a delayed input lie side by side (the history keeps a copy
// past its end), so each ray's are read with one or two loads and transposed
// into place; so are the attenuation table's, from its copy padded with its end
// entries (the neighbours clamped at the ends). In a run of samples the wide
// path goes ray by ray instead, eight samples to a register (see block): a
// ray's angles, and mostly its neighbours, then come in rows.
// The two-ray path takes every value through the same operations in the same
// order as a single ray's code (RayTrack::lobeNow, SourceHistory::inputBefore,
// AttenuationTable::atPosition): its results are the same to the bit. The wide
// path computes in float what float carries (float_rays: the lobe, the sums,
// the table position) and in double or in whole samples what it does not (the
// retarded angle up to its distance from the nearest turn, the ring position's
// whole samples): it agrees with the single-ray code to float's relative step
// (2^-24) times the few steps each value takes.
// Audio-thread object.
#pragma once

#include "engine/AttenuationTable.h"
#include "engine/FloatRayMath.h"
#include "engine/RayLobe.h"
#include "engine/RayTrack.h"
#include "engine/SourceHistory.h"
#include "engine/WidePaths.h"
#include "engine/WideRayMath.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <immintrin.h>
#include <limits>

namespace zel {

template <int N> class RayBatch {
public:
    static_assert(N % 2 == 0, "rays go two to an SSE2 register");
    // The wide path's groups: whole groups of eight, then the rest as a group
    // of four (up to four left) or of eight. The arrays hold whole groups; the
    // lanes past N compute values nobody reads (from zero geometry: finite, and
    // every index they make stays in bounds like any other).
    static constexpr int kEights = N / 8 * 8;
    static constexpr int kTail = N % 8 == 0 ? 0 : N % 8 > 4 ? 8 : 4;
    static constexpr int kLanes = kEights + kTail;

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
        halfWidthSingle_[i] = static_cast<float>(ray.lobe.halfWidth);
        signSingle_[i] = static_cast<float>(ray.path.sign);
        edgeScaleSingle_[i] = static_cast<float>(ray.lobe.edgeScale);
        middleScaleSingle_[i] = static_cast<float>(ray.lobe.middleScale);
        tablePosSingle_[i] = static_cast<float>(ray.tablePos);
        // The ring index of the retarded angle is int(w - retard + kLength),
        // masked: w - ceil(retard) for a whole w, masked.
        retardWhole_[i] = ringIndexOf(std::ceil(ray.retardSamples));
        // The path's whole samples and one more (the cubic's first neighbour
        // lies a sample before the position), as a ring index, and its
        // fraction. A path that is no number gives a fraction that is none:
        // its reads wrap to the ring's start as the two-ray path's do.
        const double whole = std::floor(ray.pathSamples);
        pathAhead_[i] = ringIndexOf(whole + 1);
        pathFraction_[i] = std::isfinite(whole) ? static_cast<float>(ray.pathSamples - whole)
                                                : std::numeric_limits<float>::quiet_NaN();
    }

    // What a run needs besides the rays. fmSamples: the mouth's Doppler radius in
    // samples; radius (metres) and tableStepsPerMetre turn a displacement into
    // attenuation-table steps; closest: the least displacement the delays and
    // attenuations follow (the drum's mouth comes no closer), -infinity for none;
    // mouthOffset: added to the displacement in the delay only (a cross unit,
    // whose delays are measured from the microphone, keeps them positive so);
    // singles: runSeries's wide path hands the lobe phase, the input and the
    // attenuation on in float only (muSingle, inputSingle, attenuationSingle),
    // for a caller whose own wide path reads them so (float's values widen to
    // double exactly: the same values, without the conversions and stores of
    // the doubles); lobesWanted: where not null, runSeries's wide path hands on
    // the lobe phase only of the samples j with lobesWanted[j] and the
    // displacement of none, for a caller that reads the phases of its update
    // samples alone (null: every sample's of both).
    struct Inputs {
        const SourceHistory& history;
        const AttenuationTable& table;
        double fmSamples;
        double radius;
        double tableStepsPerMetre;
        double closest;
        double mouthOffset = 0.0;
        bool singles = false;
        const bool* lobesWanted = nullptr;
    };

    // Every ray's values of one sample.
    struct Results {
        alignas(32) double theta[kLanes]{}; // the two-ray path's retarded angles, [0, 1)
        // The displacement, at least closest: from the two-ray path in double,
        // from the wide path in float (lambdaSingle; nothing after the batch
        // reads a horn's displacements, so it leaves them at that).
        alignas(32) double lambda[kLanes]{};
        alignas(32) double mu[kLanes]{}; // lobe phase, radians
        alignas(32) double input[kLanes]{};
        alignas(32) double attenuation[kLanes]{}; // before the room factor
        alignas(32) float lambdaSingle[kLanes]{};
        // The wide path's values in float, where the inputs ask for them.
        alignas(32) float muSingle[kLanes]{};
        alignas(32) float inputSingle[kLanes]{};
        alignas(32) float attenuationSingle[kLanes]{};
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
    void runNarrow(const Inputs& in) {
        narrowSample(shared(in), now_);
        wideLast_ = false;
    }
    [[gnu::target("avx2,fma")]] void runWide(const Inputs& in) {
        wideSample(shared(in), now_);
        wideLast_ = true;
    }
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
        if (in.singles) {
            if (unbounded(in))
                series<true, true>(in, firstWrite, fmSamples, n, out);
            else
                series<false, true>(in, firstWrite, fmSamples, n, out);
        } else {
            if (unbounded(in))
                series<true, false>(in, firstWrite, fmSamples, n, out);
            else
                series<false, false>(in, firstWrite, fmSamples, n, out);
        }
    }

    // Results of the last run, per ray.
    double lambda(int i) const { return wideLast_ ? now_.lambdaSingle[i] : now_.lambda[i]; }
    double mu(int i) const { return now_.mu[i]; }
    double input(int i) const { return now_.input[i]; }
    double attenuation(int i) const { return now_.attenuation[i]; }
    const double* attenuations() const { return now_.attenuation; }
    const Results& results() const { return now_; }

private:
    static constexpr int kLength = SourceHistory::kLength;
    static constexpr int kMask = SourceHistory::kMask;
    static constexpr int kLast = cabinet::kAttenuationLast;

    // A whole number of samples as a ring index (the ring repeats every
    // kLength); 0 for one that is no number or infinite.
    static int32_t ringIndexOf(double whole) {
        if (!std::isfinite(whole)) return 0;
        double ring = std::fmod(whole, static_cast<double>(kLength)); // exact
        if (ring < 0.0) ring += kLength;
        return static_cast<int32_t>(ring);
    }

    // The run's inputs as the groups read them.
    struct Shared {
        const double* angles;
        const double* inputs;               // 2 kLength entries
        const double* table;                // kLast + 1 entries
        const double* tableNeighbours;      // AttenuationTable::clampedNeighbours
        const float* inputsSingle;          // the inputs in float
        const float* tableNeighboursSingle; // the clamped neighbours in float
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
                in.history.inputsSingle(),
                in.table.clampedNeighboursSingle(),
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

    // ---- eight rays to an AVX2 register, in float ----
    //
    // A group is W = 8 lanes (or 4: a sample's last rays) of one sample's
    // rays; a series takes a ray's samples eight to a register instead (see
    // block). Every step works lane by lane, so a ray's values do not depend
    // on its group.

    // Rays that follow the mouth wherever it goes (no least displacement) and
    // delays without a mouth offset, as a microphone's horn rays have: there
    // max(closest, lambda) is lambda to the bit, and lambda + 0 is lambda but
    // for a zero's sign (-0 + 0 is +0). That sign reaches the fused delay
    // lambda * fm + the path's fraction only as the sign of a zero product,
    // which the fraction's +0 or more absorbs. The series leaves both steps
    // out.
    static bool unbounded(const Inputs& in) {
        return in.closest == -std::numeric_limits<double>::infinity() && in.mouthOffset == 0.0;
    }

    // The run's values every group uses, set up once (the results' stores
    // could otherwise reach the table's end entries, as far as the compiler
    // knows, so they would be read again for every group).
    struct WideConstants {
        __m256 first; // the table's end entries
        __m256 last;
        float mouthOffset;
        float tableScale; // radius * tableStepsPerMetre
        float closest;
    };
    [[gnu::target("avx2,fma"), gnu::always_inline]] static inline WideConstants
    wideConstants(const Shared& s) {
        return {_mm256_set1_ps(static_cast<float>(s.table[0])),
                _mm256_set1_ps(static_cast<float>(s.table[kLast])),
                static_cast<float>(s.mouthOffset),
                static_cast<float>(s.radius * s.tableStepsPerMetre), static_cast<float>(s.closest)};
    }

    // The sample a group's lanes belong to: its results, the history's write
    // index and the Doppler radius (the latter two also in every lane).
    struct GroupSamples {
        Results& out;
        int write;
        __m256i w;
        __m256 fm;
    };
    [[gnu::target("avx2,fma"), gnu::always_inline]] static inline GroupSamples
    samples(Results& out, int w, double fm) {
        return {out, w, _mm256_set1_epi32(w), _mm256_set1_ps(static_cast<float>(fm))};
    }

    template <bool Unbounded, bool Singles>
    [[gnu::target("avx2,fma"), gnu::always_inline]] inline void
    series(const Inputs& in, int firstWrite, const double* fmSamples, int n, Results* out) {
        const Shared s = shared(in);
        const WideConstants c = wideConstants(s);
        for (int j = 0; j < n; j += kBlock) {
            const int count = std::min(kBlock, n - j);
            block<Unbounded, Singles>(s, c, firstWrite + j, fmSamples + j, count,
                                      lobeRows(in.lobesWanted, j, count), out + j);
        }
    }

    [[gnu::target("avx2,fma"), gnu::always_inline]] inline void wideSample(const Shared& s,
                                                                           Results& o) {
        const WideConstants c = wideConstants(s);
        const int w = static_cast<int>(s.w);
        const GroupSamples one = samples(o, w, s.fmSamples);
        wideLobesOf<false, false>(s, c, one);
        wideReadsOf<false, false>(s, c, one);
    }

    // Every group of one sample.
    template <bool Unbounded, bool Singles>
    [[gnu::target("avx2,fma"), gnu::always_inline]] inline void
    wideLobesOf(const Shared& s, const WideConstants& c, const GroupSamples& g) {
        for (int i = 0; i < kEights; i += 8) wideLobes<8, Unbounded, Singles>(i, s, c, g);
        if constexpr (kTail != 0) wideLobes<kTail, Unbounded, Singles>(kEights, s, c, g);
    }
    template <bool Unbounded, bool Singles>
    [[gnu::target("avx2,fma"), gnu::always_inline]] inline void
    wideReadsOf(const Shared& s, const WideConstants& c, const GroupSamples& g) {
        for (int i = 0; i < kEights; i += 8) wideReads<8, Unbounded, Singles>(i, s, c, g);
        if constexpr (kTail != 0) wideReads<kTail, Unbounded, Singles>(kEights, s, c, g);
    }
    // ---- a group's loads and stores ----

    // A group's per-ray values from p + i, W in a row.
    template <int W>
    [[gnu::target("avx2,fma"), gnu::always_inline]] static inline typename float_rays::Lanes<W>::V
    rayValues(const float* p) {
        return float_rays::load(p, typename float_rays::Lanes<W>::V{});
    }
    template <int W>
    [[gnu::target("avx2,fma"), gnu::always_inline]] static inline typename float_rays::Lanes<W>::I
    rayInts(const int32_t* p) {
        return float_rays::loadInt(p, typename float_rays::Lanes<W>::I{});
    }
    // The group's lanes of the samples' values (W = 4: the lower half).
    template <int W>
    [[gnu::target("avx2,fma"), gnu::always_inline]] static inline typename float_rays::Lanes<W>::V
    sampleRadii(const GroupSamples& g) {
        if constexpr (W == 8)
            return g.fm;
        else
            return _mm256_castps256_ps128(g.fm);
    }
    template <int W>
    [[gnu::target("avx2,fma"), gnu::always_inline]] static inline typename float_rays::Lanes<W>::I
    sampleWrites(const GroupSamples& g) {
        if constexpr (W == 8)
            return g.w;
        else
            return _mm256_castsi256_si128(g.w);
    }
    // A group's values as doubles into the results' array member.
    template <int W, typename V>
    [[gnu::target("avx2,fma"), gnu::always_inline]] static inline void
    storeDoubles(V v, double (Results::*member)[kLanes], int i, const GroupSamples& g) {
        if constexpr (W == 8) {
            _mm256_storeu_pd((g.out.*member) + i, _mm256_cvtps_pd(_mm256_castps256_ps128(v)));
            _mm256_storeu_pd((g.out.*member) + i + 4, _mm256_cvtps_pd(_mm256_extractf128_ps(v, 1)));
        } else {
            _mm256_storeu_pd((g.out.*member) + i, _mm256_cvtps_pd(v));
        }
    }

    // A group's values as floats into the results' array member.
    template <typename V>
    [[gnu::target("avx2,fma"), gnu::always_inline]] static inline void
    storeSingles(V v, float (Results::*member)[kLanes], int i, const GroupSamples& g) {
        float_rays::store((g.out.*member) + i, v);
    }
    // Into the float member where the run hands its values on so (Singles),
    // else into the double one.
    template <int W, bool Singles, typename V>
    [[gnu::target("avx2,fma"), gnu::always_inline]] static inline void
    storeValues(V v, double (Results::*doubles)[kLanes], float (Results::*singles)[kLanes], int i,
                const GroupSamples& g) {
        if constexpr (Singles)
            storeSingles(v, singles, i, g);
        else
            storeDoubles<W>(v, doubles, i, g);
    }

    // ---- a group's steps ----

    // The retarded angle of rays i to i + 3 relative to each ray, from the
    // angles' ring indices, as its signed distance from the nearest whole
    // turn, in [-1/2, 1/2] (double: the angle and the ray's direction are
    // whole turns apart when far from zero).
    [[gnu::target("avx2,fma"), gnu::always_inline]] inline __m128 wideTurns4(int i, __m128i at,
                                                                             const Shared& s) {
        return turnsOf(pick(s.angles, at), _mm256_loadu_pd(angleOffset_ + i));
    }
    // The same from four angles and the rays' directions.
    [[gnu::target("avx2,fma"), gnu::always_inline]] static inline __m128 turnsOf(__m256d angle,
                                                                                 __m256d offset) {
        const __m256d x = _mm256_sub_pd(angle, offset);
        // Exact; not a number for an infinite or not-a-number angle.
        const __m256d c =
            _mm256_sub_pd(x, _mm256_round_pd(x, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC));
        return _mm256_cvtpd_ps(c);
    }

    // lobePoint.
    template <int W, bool Unbounded, bool Singles>
    [[gnu::target("avx2,fma"), gnu::always_inline]] inline void
    wideLobes(int i, const Shared& s, const WideConstants& c, const GroupSamples& g) {
        using namespace float_rays;
        using V = typename Lanes<W>::V;
        using I = typename Lanes<W>::I;
        // The angles' ring indices: w - ceil(retard), masked.
        const I at =
            andInt(subInt(sampleWrites<W>(g), rayInts<W>(retardWhole_ + i)), splatInt<I>(kMask));
        V turns;
        if constexpr (W == 8)
            turns = _mm256_insertf128_ps(
                _mm256_castps128_ps256(wideTurns4(i, _mm256_castsi256_si128(at), s)),
                wideTurns4(i + 4, _mm256_extracti128_si256(at, 1), s), 1);
        else
            turns = wideTurns4(i, at, s);
        V lambda, mu;
        lobePoints(turns, rayValues<W>(halfWidthSingle_ + i), rayValues<W>(signSingle_ + i),
                   rayValues<W>(edgeScaleSingle_ + i), rayValues<W>(middleScaleSingle_ + i), lambda,
                   mu);
        if constexpr (!Unbounded)
            lambda = maxOf(splat<V>(c.closest), lambda); // std::max(lambda, closest)
        storeSingles(lambda, &Results::lambdaSingle, i, g);
        storeValues<W, Singles>(mu, &Results::mu, &Results::muSingle, i, g);
    }

    // ---- a series, a block of samples at a time ----
    //
    // A ray's retarded delay holds over a run, so its retarded angles for
    // consecutive samples lie side by side in the history: a block of eight
    // samples takes a ray's angles with two loads, where a group of rays takes
    // one read per lane. A register holds one ray's values of the block's
    // samples. Its delays move by far less than a sample from one sample to
    // the next, so the block's delayed inputs mostly start at consecutive
    // entries (each neighbour of the eight is then one load), and its table
    // positions mostly share their entry (each neighbour one broadcast); other
    // blocks read lane by lane. The values go to the samples' results turned
    // into rows (a transpose). Every lane takes wideLobes's and wideReads's
    // steps: the values are the same to the bit.
    static constexpr int kBlock = 8;

    // Which of a block's samples hand on their lobe phases, a bit each;
    // kAllRows where every sample hands on its displacements as well.
    static constexpr unsigned kAllRows = ~0u;
    [[gnu::target("avx2,fma"), gnu::always_inline]] static inline unsigned
    lobeRows(const bool* wanted, int first, int count) {
        if (wanted == nullptr) return kAllRows;
        if (count == kBlock) {
            // A whole block's eight flags, a byte each, at once.
            const __m128i flags = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(wanted + first));
            return static_cast<unsigned>(
                _mm_movemask_epi8(_mm_cmpgt_epi8(flags, _mm_setzero_si128())));
        }
        unsigned rows = 0;
        for (int k = 0; k < count; ++k) rows |= static_cast<unsigned>(wanted[first + k]) << k;
        return rows;
    }

    // Samples w to w + count - 1 (count <= kBlock) into out[0..count).
    template <bool Unbounded, bool Singles>
    [[gnu::target("avx2,fma"), gnu::always_inline]] inline void
    block(const Shared& s, const WideConstants& c, int w, const double* fmSamples, int count,
          unsigned rows, Results* out) {
        // The block's Doppler radii in float, as samples() rounds them (the
        // lanes past count take the last sample's).
        alignas(32) double radii[kBlock];
        for (int k = 0; k < kBlock; ++k) radii[k] = fmSamples[std::min(k, count - 1)];
        const __m256 fm =
            _mm256_insertf128_ps(_mm256_castps128_ps256(_mm256_cvtpd_ps(_mm256_load_pd(radii))),
                                 _mm256_cvtpd_ps(_mm256_load_pd(radii + 4)), 1);
        bool settled = true;
        for (int i = 0; i < kEights; i += 8)
            settled &= blockRays<8, Unbounded, Singles>(i, s, c, w, fm, count, rows, out);
        if constexpr (kTail != 0)
            settled &= blockRays<kTail, Unbounded, Singles>(kEights, s, c, w, fm, count, rows, out);
        if (settled) return;
        // A delay the quick check rejects: the block's reads sample by sample,
        // from displacements the block may not have handed on (the lobes again,
        // the same steps: the same values).
        for (int k = 0; k < count; ++k) {
            const int at = (w + k) & kMask;
            const GroupSamples g = samples(out[k], at, fmSamples[k]);
            if (rows != kAllRows) wideLobesOf<Unbounded, Singles>(s, c, g);
            wideReadsOf<Unbounded, Singles>(s, c, g);
        }
    }

    // Ray `ray`'s retarded angles of the block's samples, as wideTurns4 gives
    // them: a block that reaches past the ring's end reads lane by lane.
    [[gnu::target("avx2,fma"), gnu::always_inline]] inline __m256 blockTurns(int ray, int w,
                                                                             const Shared& s) {
        const int start = (w - retardWhole_[ray]) & kMask;
        __m256d first, second;
        if (start <= kLength - kBlock) {
            first = _mm256_loadu_pd(s.angles + start);
            second = _mm256_loadu_pd(s.angles + start + 4);
        } else {
            const __m128i at = _mm_add_epi32(_mm_set1_epi32(start), _mm_setr_epi32(0, 1, 2, 3));
            const __m128i mask = _mm_set1_epi32(kMask);
            first = pick(s.angles, _mm_and_si128(at, mask));
            second = pick(s.angles, _mm_and_si128(_mm_add_epi32(at, _mm_set1_epi32(4)), mask));
        }
        const __m256d offset = _mm256_broadcast_sd(angleOffset_ + ray);
        return _mm256_insertf128_ps(_mm256_castps128_ps256(turnsOf(first, offset)),
                                    turnsOf(second, offset), 1);
    }

    // Rays i to i + R - 1 of the block, each ray's values kept by ray, then
    // handed to the samples' results. False where a delay needs the slow
    // placement: the block's reads are then left to the caller.
    template <int R, bool Unbounded, bool Singles>
    [[gnu::target("avx2,fma"), gnu::always_inline]] inline bool
    blockRays(int i, const Shared& s, const WideConstants& c, int w, __m256 fm, int count,
              unsigned rows, Results* out) {
        using namespace float_rays;
        alignas(32) float lambdas[R][kBlock];
        alignas(32) float mus[R][kBlock];
        for (int r = 0; r < R; ++r) {
            const int ray = i + r;
            __m256 lambda, mu;
            lobePoints(blockTurns(ray, w, s), splat<__m256>(halfWidthSingle_[ray]),
                       splat<__m256>(signSingle_[ray]), splat<__m256>(edgeScaleSingle_[ray]),
                       splat<__m256>(middleScaleSingle_[ray]), lambda, mu);
            if constexpr (!Unbounded)
                lambda = maxOf(splat<__m256>(c.closest), lambda); // std::max(lambda, closest)
            _mm256_store_ps(lambdas[r], lambda);
            _mm256_store_ps(mus[r], mu);
        }
        if (rows == kAllRows) {
            storeRows<R, true>(lambdas, &Results::lambda, &Results::lambdaSingle, i, count, out);
            storeRows<R, Singles>(mus, &Results::mu, &Results::muSingle, i, count, out);
        } else {
            storeColumns<R, Singles>(mus, rows, &Results::mu, &Results::muSingle, i, out);
        }

        alignas(32) float inputs[R][kBlock];
        alignas(32) float gains[R][kBlock];
        const __m256i writes = _mm256_add_epi32(_mm256_set1_epi32(w), rowOffsets());
        for (int r = 0; r < R; ++r) {
            const int ray = i + r;
            const __m256 lambda = _mm256_load_ps(lambdas[r]);
            // wideReads's steps, the delay's first.
            const __m256 lead = Unbounded ? lambda : lambda + splat<__m256>(c.mouthOffset);
            const __m256 delay = fmadd(lead, fm, splat<__m256>(pathFraction_[ray]));
            const __m256 reach = andNot(splat<__m256>(-0.0f), delay);
            if (signs(cmp<_CMP_LT_OQ>(reach, splat<__m256>(kExactWhole))) != 0xFF) return false;
            const __m256 above = ceilOf(delay);
            const __m256 t = above - delay;
            const __m256i k =
                andInt(subInt(subInt(writes, splatInt<__m256i>(pathAhead_[ray])), truncated(above)),
                       splatInt<__m256i>(kMask));
            __m256 p0, p1, p2, p3;
            const int k0 = _mm256_cvtsi256_si32(k);
            if (sameVector(k, _mm256_add_epi32(_mm256_set1_epi32(k0), rowOffsets()))) {
                // k0 + 10 stays within the history's copy past its end.
                p0 = _mm256_loadu_ps(s.inputsSingle + k0);
                p1 = _mm256_loadu_ps(s.inputsSingle + k0 + 1);
                p2 = _mm256_loadu_ps(s.inputsSingle + k0 + 2);
                p3 = _mm256_loadu_ps(s.inputsSingle + k0 + 3);
            } else {
                neighbours(s.inputsSingle, k, p0, p1, p2, p3);
            }
            _mm256_store_ps(inputs[r], float_rays::catmullRom(t, p0, p1, p2, p3));

            const __m256 last = splat<__m256>(static_cast<float>(kLast));
            const __m256 tableAt =
                fmadd(lambda, splat<__m256>(c.tableScale), splat<__m256>(tablePosSingle_[ray]));
            const __m256 clamped = minOf(maxOf(tableAt, __m256{}), last);
            const __m256i entry = truncated(clamped);
            const __m256 u = clamped - toFloat(entry);
            __m256 q0, q1, q2, q3;
            const int e0 = _mm256_cvtsi256_si32(entry);
            if (sameVector(entry, _mm256_set1_epi32(e0))) {
                q0 = _mm256_broadcast_ss(s.tableNeighboursSingle + e0);
                q1 = _mm256_broadcast_ss(s.tableNeighboursSingle + e0 + 1);
                q2 = _mm256_broadcast_ss(s.tableNeighboursSingle + e0 + 2);
                q3 = _mm256_broadcast_ss(s.tableNeighboursSingle + e0 + 3);
            } else {
                neighbours(s.tableNeighboursSingle, entry, q0, q1, q2, q3);
            }
            __m256 gain = float_rays::catmullRom(u, q0, q1, q2, q3);
            gain = blend(gain, c.last, cmp<_CMP_GE_OQ>(tableAt, last));
            gain = blend(gain, c.first, cmp<_CMP_NGT_UQ>(tableAt, __m256{}));
            _mm256_store_ps(gains[r], gain);
        }
        storeRows<R, Singles>(inputs, &Results::input, &Results::inputSingle, i, count, out);
        storeRows<R, Singles>(gains, &Results::attenuation, &Results::attenuationSingle, i, count,
                              out);
        return true;
    }

    [[gnu::target("avx2,fma"), gnu::always_inline]] static inline __m256i rowOffsets() {
        return _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    }
    [[gnu::target("avx2,fma"), gnu::always_inline]] static inline bool sameVector(__m256i a,
                                                                                  __m256i b) {
        return _mm256_movemask_epi8(_mm256_cmpeq_epi32(a, b)) == -1;
    }

    // The block's values of rays i to i + R - 1 (R = 8 or 4), by ray, into the
    // samples' results: into the float member where Singles, else into the
    // double one.
    template <int R, bool Singles>
    [[gnu::target("avx2,fma"), gnu::always_inline]] static inline void
    storeRows(const float (&byRay)[R][kBlock], double (Results::*doubles)[kLanes],
              float (Results::*singles)[kLanes], int i, int count, Results* out) {
        // Each half of quad[h][n] holds rays 4 h to 4 h + 3 of one sample (n in
        // the lower half, n + 4 in the upper).
        __m256 quad[R / 4][4];
        for (int h = 0; h < R / 4; ++h) {
            const float* v = byRay[4 * h];
            const __m256 a = _mm256_load_ps(v), b = _mm256_load_ps(v + kBlock);
            const __m256 c = _mm256_load_ps(v + 2 * kBlock), d = _mm256_load_ps(v + 3 * kBlock);
            const __m256 ab01 = _mm256_unpacklo_ps(a, b);
            const __m256 ab23 = _mm256_unpackhi_ps(a, b);
            const __m256 cd01 = _mm256_unpacklo_ps(c, d);
            const __m256 cd23 = _mm256_unpackhi_ps(c, d);
            quad[h][0] = _mm256_shuffle_ps(ab01, cd01, 0x44);
            quad[h][1] = _mm256_shuffle_ps(ab01, cd01, 0xEE);
            quad[h][2] = _mm256_shuffle_ps(ab23, cd23, 0x44);
            quad[h][3] = _mm256_shuffle_ps(ab23, cd23, 0xEE);
        }
        // A whole block (all but a run's last) with every store unrolled.
        if (count == kBlock) {
            for (int k = 0; k < kBlock; ++k)
                storeRow<R, Singles>(quad, k, out[k], doubles, singles, i);
        } else {
            for (int k = 0; k < count; ++k)
                storeRow<R, Singles>(quad, k, out[k], doubles, singles, i);
        }
    }
    // The same for the samples whose bits rows sets alone (each a column of
    // byRay: cheaper than the transpose for the one update sample or so of a
    // block).
    template <int R, bool Singles>
    [[gnu::target("avx2,fma"), gnu::always_inline]] static inline void
    storeColumns(const float (&byRay)[R][kBlock], unsigned rows, double (Results::*doubles)[kLanes],
                 float (Results::*singles)[kLanes], int i, Results* out) {
        for (; rows != 0; rows &= rows - 1) {
            const int k = std::countr_zero(rows);
            for (int r = 0; r < R; ++r) {
                if constexpr (Singles)
                    (out[k].*singles)[i + r] = byRay[r][k];
                else
                    (out[k].*doubles)[i + r] = byRay[r][k];
            }
        }
    }
    template <int R, bool Singles>
    [[gnu::target("avx2,fma"), gnu::always_inline]] static inline void
    storeRow(const __m256 (&quad)[R / 4][4], int k, Results& o, double (Results::*doubles)[kLanes],
             float (Results::*singles)[kLanes], int i) {
        for (int h = 0; h < R / 4; ++h) {
            const __m128 v = k < 4 ? _mm256_castps256_ps128(quad[h][k])
                                   : _mm256_extractf128_ps(quad[h][k - 4], 1);
            if constexpr (Singles)
                _mm_storeu_ps((o.*singles) + i + 4 * h, v);
            else
                _mm256_storeu_pd((o.*doubles) + i + 4 * h, _mm256_cvtps_pd(v));
        }
    }

    template <int W, bool Unbounded, bool Singles>
    [[gnu::target("avx2,fma"), gnu::always_inline]] inline void
    wideReads(int i, const Shared& s, const WideConstants& c, const GroupSamples& g) {
        using namespace float_rays;
        using V = typename Lanes<W>::V;
        using I = typename Lanes<W>::I;
        const V zero{};
        const V lambda = float_rays::load(g.out.lambdaSingle + i, V{});

        // The delayed input. The delay less the path's whole samples: the
        // displacement's part and the path's fraction, a few Doppler radii at
        // most, where float's step is fine.
        const V lead = Unbounded ? lambda : lambda + splat<V>(c.mouthOffset);
        V delay = fmadd(lead, sampleRadii<W>(g), rayValues<W>(pathFraction_ + i));
        const V reach = andNot(splat<V>(-0.0f), delay); // |delay|; false below for NaN
        if (signs(cmp<_CMP_LT_OQ>(reach, splat<V>(kExactWhole))) != (1 << W) - 1)
            delay = settledDelays<W>(delay, i, g.write);
        // position = w - the path's whole samples - delay
        //          = (w - whole - ceil(delay)) + t.
        const V above = ceilOf(delay);
        const V t = above - delay; // [0, 1]
        // The entry before the position's (whole + 1 ahead), wrapped into the
        // ring.
        const I k =
            andInt(subInt(subInt(sampleWrites<W>(g), rayInts<W>(pathAhead_ + i)), truncated(above)),
                   splatInt<I>(kMask));
        V p0, p1, p2, p3;
        neighbours(s.inputsSingle, k, p0, p1, p2, p3);
        storeValues<W, Singles>(float_rays::catmullRom(t, p0, p1, p2, p3), &Results::input,
                                &Results::inputSingle, i, g);

        // The attenuation: lookupCubic's neighbours, clamped at the table's ends.
        const V last = splat<V>(static_cast<float>(kLast));
        const V tableAt = fmadd(lambda, splat<V>(c.tableScale), rayValues<W>(tablePosSingle_ + i));
        // max picks 0 for NaN, which the ends below replace anyway.
        const V clamped = minOf(maxOf(tableAt, zero), last);
        const I entry = truncated(clamped);
        const V u = clamped - toFloat(entry);
        V q0, q1, q2, q3;
        neighbours(s.tableNeighboursSingle, entry, q0, q1, q2, q3);
        V gain = float_rays::catmullRom(u, q0, q1, q2, q3);
        // Beyond either end: the end entry itself (not a number: the first).
        gain = blend(gain, lower<V>(c.last), cmp<_CMP_GE_OQ>(tableAt, last));
        gain = blend(gain, lower<V>(c.first), cmp<_CMP_NGT_UQ>(tableAt, zero));
        storeValues<W, Singles>(gain, &Results::attenuation, &Results::attenuationSingle, i, g);
    }

    // Delays of 2^23 samples and more are whole in float: ceil and the int
    // conversion take them only below that.
    static constexpr float kExactWhole = 8388608.0f;
    // Delays the quick check rejects brought to where the two-ray path's
    // wrap puts them: one of 2^23 samples or more to its place in the ring
    // (exact: such a float is whole), one that is no number or infinite to the
    // ring's start (position 0: the delay w - the path's whole samples, as
    // ring indices).
    template <int W>
    [[gnu::target("avx2,fma"), gnu::noinline, gnu::cold]] typename float_rays::Lanes<W>::V
    settledDelays(typename float_rays::Lanes<W>::V delay, int i, int w) const {
        alignas(32) float d[8];
        float_rays::store(d, delay);
        for (int n = 0; n < W; ++n) {
            if (std::fabs(d[n]) < kExactWhole) continue;
            const int ray = i + n;
            d[n] = std::isfinite(d[n]) ? std::fmod(d[n], static_cast<float>(kLength))
                                       : static_cast<float>((w - pathAhead_[ray] + 1) & kMask);
        }
        return float_rays::load(d, typename float_rays::Lanes<W>::V{});
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
    // The same in float for the wide path, and the path split into its whole
    // samples (a ring index) and its fraction.
    alignas(32) float halfWidthSingle_[kLanes]{};
    alignas(32) float signSingle_[kLanes]{};
    alignas(32) float edgeScaleSingle_[kLanes]{};
    alignas(32) float middleScaleSingle_[kLanes]{};
    alignas(32) float tablePosSingle_[kLanes]{};
    alignas(32) float pathFraction_[kLanes]{};
    alignas(32) int32_t pathAhead_[kLanes]{};
    alignas(32) int32_t retardWhole_[kLanes]{}; // ceil(retard) as a ring index
    // The last run's sample.
    Results now_;
    bool wideLast_ = false; // whether the wide path gave it
};

} // namespace zel
