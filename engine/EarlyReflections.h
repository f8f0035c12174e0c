// The room around the cabinet: a stereo multi-tap delay, twelve taps per channel.
// Each tap's gain falls with its path length (linearly in dB) and a one-pole
// low-pass darkens it. The path lengths are fixed tables scaled by the room size;
// the virtual room size and the left-right delay set how steeply the gain falls.
//
// Threads: the setters store Relaxed values (any thread). setRate, rebuild, reset,
// process and the return-level smoothing run on the audio thread. The delay lines
// are allocated once, in the constructor.
#pragma once

#include "engine/Relaxed.h"
#include "engine/WidePaths.h"
#include "engine/data/RoomTables.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace zel {

class EarlyReflections {
public:
    static constexpr int kTaps = 2 * room::kTapsPerSide; // 0-11 left, 12-23 right

    struct Tap {
        int32_t delay = 0;  // whole samples
        float fraction = 0; // and the fraction of one
        double gain = 0;
        double pole = 0;
    };
    struct Output {
        double left;
        double right;
    };

    EarlyReflections();

    // Audio thread.
    void setRate(double internalRate) { rate_ = internalRate; }
    void rebuild();
    // Snaps the return level, rebuilds and clears the delay lines and the taps.
    void reset();
    Output process(double left, double right) { return process(left, right, level_); }
    // The same with the return level given: the level it had at an earlier frame.
    Output process(double left, double right, double level);
    // process over `count` samples, each with its own return level: the same
    // values as `count` calls, with the taps' states kept in registers.
    void processRun(const double* left, const double* right, const double* level, double* outLeft,
                    double* outRight, int count) {
        if (useWidePaths())
            processRunWide(left, right, level, outLeft, outRight, count);
        else
            processRunNarrow(left, right, level, outLeft, outRight, count);
    }
    // Moves the return level toward its target by one smoothing step (coef = 1 -
    // exp(-1 / (T * rate)) of the caller's rate).
    void smoothReturnLevel(double coef);
    void snapReturnLevel() { level_ = levelTarget_.load(); }

    // Settings (any thread); the geometry takes effect at the next rebuild.
    void setRoomSize(double scale) { roomSize_.store(scale); }
    void setVirtualRoomSize(double scale) { virtualSize_.store(scale); }
    void setLrDelay(double metres) { lrDelay_.store(metres); }
    void setMainCutoff(double hz) { mainCutoff_.store(hz); }
    // Kept for the settings' sake: it shapes only the cross sets, which are not played.
    void setCrossCutoff(double factor) { crossCutoff_.store(factor); }
    void setReturnLevel(double level) { levelTarget_.store(level); }

    double returnLevel() const { return level_; }
    double rate() const { return rate_; }
    const Tap& tap(int i) const { return taps_[i]; }
    // The tap's low-pass state (its last output).
    double tapState(int i) const { return run_.state[i % kSide][i / kSide]; }
    double crossCutoff() const { return crossCutoff_.load(); }
    // Longest tap delay in samples, including its fraction.
    double longestDelay() const;

private:
    static constexpr int kSide = room::kTapsPerSide;

    void buildSide(int first, const std::array<double, room::kTapsPerSide>& paths,
                   const std::array<double, room::kTapsPerSide>& cutoffFactors, double size,
                   double dbPerMetre, double cutoff);
    // The per-sample copy of the taps' settings.
    void prepareRun();
    // Each tap's read position relative to the write position, per side.
    using ReadOffsets = std::ptrdiff_t[kSide][2];
    // The samples the wide form's taps read at once, one register each.
    static constexpr int kBlock = 8;
    int straightStretch(int32_t n, int count, ReadOffsets& offset) const;
    // processRun with tap i of both sides in one register (double), and with
    // taps 4k .. 4k + 3 of both sides in one AVX2 register (single precision).
    void processRunNarrow(const double* left, const double* right, const double* level,
                          double* outLeft, double* outRight, int count);
    [[gnu::target("avx2,fma")]] void processRunWide(const double* left, const double* right,
                                                    const double* level, double* outLeft,
                                                    double* outRight, int count);

    Relaxed<double> roomSize_{1.0};
    Relaxed<double> virtualSize_{1.0};
    Relaxed<double> lrDelay_{0.22};
    Relaxed<double> mainCutoff_{5000.0};
    Relaxed<double> crossCutoff_{0.5};
    Relaxed<double> levelTarget_{0.0};

    double rate_ = 44100;
    double level_ = 0;
    std::array<Tap, kTaps> taps_{};
    // What process reads, laid out so that tap i of the left side and tap i of
    // the right side are computed side by side, in one register: [i][0] left,
    // [i][1] right.
    using Pair = double __attribute__((vector_size(16)));
    struct Run {
        Pair newerWeight[kSide]; // 1 - fraction
        Pair olderWeight[kSide]; // fraction
        Pair gain[kSide];
        Pair pole[kSide];
        Pair state[kSide];
        int32_t delay[kSide][2];
        // The wide form's copy in single precision, in the order [left 4k, right
        // 4k, left 4k + 1, right 4k + 1, ...]: the weights with the gain folded
        // in, and 1 - pole (held to float's relative step, where the pole itself
        // would lose the low cutoffs' distance from 1).
        float newerGain[2 * kSide];
        float olderGain[2 * kSide];
        float rise[2 * kSide];
        // No tap reaches back into the last kBlock entries before the write
        // position: the wide form may write kBlock samples before it reads them.
        bool blocks;
    };
    Run run_{};
    // The two delay lines, left and right. Each keeps a copy of its last entry in
    // front of its first, so a tap reads its two neighbouring samples as one pair
    // also where the line wraps.
    std::vector<double> lines_[2];
    // The same lines in single precision, for the wide form's reads; written by
    // the wide form only, so stale once the baseline form has written.
    std::vector<float> floatLines_[2];
    bool floatLinesStale_ = false;
    // No sample has been written to the lines since they were last cleared
    // (a reset then leaves them as they are).
    bool linesClear_ = true;
    int32_t n_ = 0;
};

} // namespace zel
