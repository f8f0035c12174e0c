// Rate reduction around the speaker simulation: a 32-tap single-precision FIR
// low-pass that feeds the simulation every factor-th host frame, and the same FIR
// (after a zero-stuffed, factor-scaled write) that interpolates the simulation's
// output back to the host rate. Without a table (factor 1) both are plain float
// roundings. Each history keeps its 32 entries twice (at i and i + 32), so the
// 32 taps always read contiguous memory. Audio-thread object.
#pragma once

#include <array>
#include <cstdint>

namespace zel {

class Decimator {
public:
    static constexpr int kTaps = 32;
    static constexpr int kStartIndex = kTaps - 1;

    struct Pair {
        double left;
        double right;
    };

    Decimator() noexcept;

    // Chooses the table for a factor of 1, 2, 4 or 8 (none for 1).
    void setFactor(int factor) noexcept;
    void clear() noexcept;

    // Steps the shared history index and returns the simulation input (the
    // filtered value, widened back to double).
    double pushInput(double a) noexcept;
    // The same step without the filtered value, for frames the simulation skips.
    void pushOnly(double a) noexcept;
    // What pushRun does with a frame: nothing, pushOnly or pushInput.
    enum PushKind : int8_t { kSkip = 0, kPushOnly = 1, kPushAndFilter = 2 };
    // For n frames in order: frame i's value a[i] pushed as kind[i] says, the
    // filtered values of the kPushAndFilter frames to filtered[] in order and
    // each pushed frame's index() after its push to index[i]. The same values
    // as the calls one by one (on the wide path, at a factor of 2 with every
    // other push filtered, to within a few of float's rounding steps).
    void pushRun(const double* a, const int8_t* kind, int* index, double* filtered, int n) noexcept;
    // Takes the simulation's (already reconstruction-filtered) output pair for
    // this host frame (zero on frames without simulation), scales it by the factor
    // and returns the interpolated pair. Without a table: the pair as floats.
    Pair interpolate(double left, double right) noexcept {
        return interpolateAt(index_, left, right);
    }
    // The same at a history index recorded after an earlier pushInput (index()):
    // lets the inputs of a run of frames be pushed before their outputs come back.
    Pair interpolateAt(int index, double left, double right) noexcept;
    // interpolateAt for n frames in order, frame i at index[i] with the pair
    // left[i], right[i]; the interpolated pairs replace them. Needs a table.
    // On the wide path, frames whose indices follow each other are computed
    // eight at a time with another order of the sums: the same to within a
    // few of float's rounding steps.
    void interpolateRun(const int* index, double* left, double* right, int n) noexcept;

    bool hasTable() const noexcept { return table_ != nullptr; }
    int factor() const noexcept { return factor_; }
    int index() const noexcept { return index_; }
    const float* table() const noexcept { return table_; }

    // The single-precision dot product of the 32 taps with 32 history entries:
    // eight partial sums, each adding its taps' products in order, then added
    // pairwise. The wide forms (AVX2, taken where the processor has it) compute
    // the same sums in the same order.
    static float dot(const float* table, const float* history) noexcept;
    [[gnu::target("avx2")]] static float dotWide(const float* table, const float* history) noexcept;
    // Two histories against the same table.
    static void dotPair(const float* table, const float* a, const float* b, float& ya,
                        float& yb) noexcept;
    [[gnu::target("avx2")]] static void dotPairWide(const float* table, const float* a,
                                                    const float* b, float& ya, float& yb) noexcept;

private:
    // Scales and writes frame i's pair into the output histories at index[i];
    // returns the histories' start.
    int writeOutput(int index, double left, double right) noexcept;
    void interpolateFrames(const int* index, double* left, double* right, int n) noexcept;
    void pushFramesPlain(const double* a, const int8_t* kind, int* index, double* filtered,
                         int n) noexcept;
    // Pushes of a run that skips no frame, in one pass over the run.
    [[gnu::target("avx2,fma")]] int pushEvery(const double* a, int* index, float* pushed,
                                              int n) noexcept;
    [[gnu::target("avx2,fma")]] void pushFramesWide(const double* a, const int8_t* kind, int* index,
                                                    double* filtered, int n) noexcept;
    [[gnu::target("avx2,fma")]] void interpolateFramesWide(const int* index, double* left,
                                                           double* right, int n) noexcept;

    bool wide_;
    const float* table_ = nullptr;
    int factor_ = 1;
    int index_ = kStartIndex;
    std::array<float, 2 * kTaps> input_{};
    std::array<float, 2 * kTaps> outLeft_{};
    std::array<float, 2 * kTaps> outRight_{};
};

} // namespace zel
