// The amplifier in front of the cabinet: the drive curves ("Thru", "Tube",
// "Solid", the tube with its DC tracker) and the four-band tone EQ. Runs at the
// host rate. Audio-thread object.
#pragma once

#include "engine/BiquadFilter.h"

#include <cstdint>

namespace zel {

enum AmpType : int32_t { kAmpThru = 0, kAmpTube = 1, kAmpSolid = 2 };

struct ToneSettings {
    double bottomDb;
    double loMidDb;
    double loMidQ;
    double presenceDb;
    double presenceQ;
    double topShelfDb;
};

class AmpStage {
public:
    // Input levels below this pass the curves unchanged (the curves divide by the
    // drive and would only add their DC tracker's noise to silence); the tube's DC
    // tracker still moves.
    static constexpr double kQuietInput = 1e-8;
    static constexpr double kTubeInputScale = 1.18;
    static constexpr double kSolidInputScale = 1.34349;
    // "TopShlf" and "Bottom" act at three quarters of their dB value.
    static constexpr double kShelfDbScale = 0.75;

    AmpStage() noexcept;

    // The tone filters' rate and the DC tracker's coefficient.
    void setRate(double hostRate) noexcept;
    void setTone(const ToneSettings& tone) noexcept;
    // Every tone filter's state cleared, glides finished; the DC tracker cleared.
    void clear() noexcept;
    void clearTracker() noexcept { dc_ = 0.0; }
    void setImmediate(bool on) noexcept;

    // The drive curve for type, drive g (> 0).
    double shape(double m, int32_t type, double drive) noexcept;
    // shape over n frames, frame i with type[i] and drive[i] (out may be m): the
    // same values as n calls, with the divisions of neighbouring frames in flight
    // together.
    void shapeRun(const double* m, const int32_t* type, const double* drive, double* out,
                  int n) noexcept;
    // shapeRun, the gain after the curve (postDrive[i]) and toneRun over n
    // frames in place: the same values as the three in turn.
    void processRun(double* x, const int32_t* type, const double* drive, const double* postDrive,
                    int n) noexcept;
    // The four tone sections (gliding), presence first.
    double tone(double x) noexcept;
    // tone over n samples in place: the same values as n calls.
    void toneRun(double* x, int n) noexcept;

    // The tube curve T.
    static double tubeCurve(double x) noexcept;

    double trackerCoefficient() const noexcept { return kdc_; }
    double tracker() const noexcept { return dc_; }
    const BiquadFilter& presence() const noexcept { return presence_; }
    const BiquadFilter& loMid() const noexcept { return loMid_; }
    const BiquadFilter& topShelf() const noexcept { return topShelf_; }
    const BiquadFilter& bottom() const noexcept { return bottom_; }

private:
    // shapeRun for runs of one type.
    void tubeRun(const double* m, const double* drive, double* out, int n) noexcept;
    // The tube four frames at a time (AVX2) over the first n - n % 4 frames,
    // the tracker carried in dc; returns the frames done.
    [[gnu::target("avx2")]] int tubeQuads(const double* m, const double* drive, double* out, int n,
                                          double& dc) noexcept;
    void solidRun(const double* m, const double* drive, double* out, int n) noexcept;
    // Whether the tone sections run as a steady chain.
    bool toneSteady() const noexcept;
    // processRun for runs of the tube with a steady tone chain, n a multiple of
    // kFused up to kMaxFused (the engine's longest run), AVX2 only: the tube's
    // tracker, the gain and the tone chain in one loop.
    static constexpr int kFused = 4, kMaxFused = 512;
    [[gnu::target("avx2")]] void tubeToneQuads(double* x, const double* drive,
                                               const double* postDrive, int n) noexcept;

    BiquadFilter presence_;
    BiquadFilter loMid_;
    BiquadFilter topShelf_;
    BiquadFilter bottom_;
    double dc_ = 0.0;
    double kdc_ = 0.0;
};

} // namespace zel
