// What parameter application hands the engine: smoothing targets, amp and tone
// settings, and the pending-rebuild requests. Written by whichever thread sets a
// parameter, read by the audio thread, so every field is an atomic (relaxed, but
// for the count of stores into the smoothing targets).
#pragma once

#include "engine/Relaxed.h"

#include <atomic>
#include <cstdint>

namespace zel {

// Counts the stores into a set of smoothing targets, so the audio thread can see
// at a glance that none has moved since it last looked. A store counts after
// its value is written (release); a reader that sees the count (acquire) sees
// the value.
class TargetChanges {
public:
    void note() noexcept { count_.fetch_add(1u, std::memory_order_release); }
    uint32_t count() const noexcept { return count_.load(std::memory_order_acquire); }

private:
    std::atomic<uint32_t> count_{0u};
};

// One smoothing target: a relaxed value whose every store is counted by its set.
class SmoothedTarget {
public:
    SmoothedTarget(TargetChanges& changes, double initial) noexcept
        : changes_(&changes), value_(initial) {}
    SmoothedTarget(const SmoothedTarget&) = delete;
    SmoothedTarget& operator=(const SmoothedTarget&) = delete;
    SmoothedTarget& operator=(double x) noexcept {
        store(x);
        return *this;
    }
    void store(double x) noexcept {
        value_.store(x);
        changes_->note();
    }
    double load() const noexcept { return value_.load(); }
    operator double() const noexcept { return load(); }

private:
    TargetChanges* changes_;
    Relaxed<double> value_;
};

// Targets of the engine's smoothed values; the audio thread moves its current
// values toward them every frame (30 ms, the drive 100 ms).
struct SmoothedTargets {
    TargetChanges changes; // every store below
    SmoothedTarget inputGain{changes, 0.0};
    SmoothedTarget drive{changes, 1.0};
    SmoothedTarget postDriveGain{changes, 0.0};
    SmoothedTarget hornInputGain{changes, 0.0};
    SmoothedTarget drumInputGain{changes, 0.0};
    SmoothedTarget hornMicLevel{changes, 0.0};
    SmoothedTarget micMakeupGain{changes, 1.0};
    SmoothedTarget mic2Gain{changes, 0.0};
    SmoothedTarget drumMicLevel{changes, 0.0};
    SmoothedTarget mic1PanLeft{changes, 1.0};
    SmoothedTarget mic1PanRight{changes, 0.0};
    SmoothedTarget mic2PanLeft{changes, 0.0};
    SmoothedTarget mic2PanRight{changes, 1.0};
    SmoothedTarget drumPanLeft{changes, 0.7071};
    SmoothedTarget drumPanRight{changes, 0.7071};
    SmoothedTarget drumToTubeFeedback{changes, 0.0};
    SmoothedTarget hornToDrumFeedback{changes, 0.0};
    SmoothedTarget brToTubeGain{changes, 0.0};
    SmoothedTarget brToDrumGain{changes, 0.0};
    SmoothedTarget hornHighPassMix{changes, 0.0};
    SmoothedTarget drumLowPassMix{changes, 0.0};
    SmoothedTarget roomReturnLevel{changes, 0.0};
    // Placement of the horn's mechanical noise between the two horn microphones.
    SmoothedTarget mechPanNear{changes, 0.7604059656};
    SmoothedTarget mechPanFar{changes, 0.6494480483};
};

// Amp, tone and microphone-filter settings read at block start or per frame.
struct AmpToneSettings {
    Relaxed<int32_t> ampType{0}; // 0 "Thru", 1 "Tube", 2 "Solid"
    Relaxed<double> bottomDb{0.0};
    Relaxed<double> loMidDb{0.0};
    Relaxed<double> loMidQ{1.0};
    Relaxed<double> presenceDb{0.0};
    Relaxed<double> presenceQ{1.0};
    Relaxed<double> topShelfDb{0.0};
    Relaxed<double> colorA{0.0}; // dB, room return peak
    Relaxed<double> colorB{0.0}; // dB, room return shelf
    Relaxed<double> hornHighPassHz{20.0};
    Relaxed<double> drumLowPassHz{11025.0};
    Relaxed<double> mechRoomSend{0.0};
    Relaxed<int32_t> speakerBypass{0}; // "Bypass Speakers (Amp Only)"
    Relaxed<int32_t> cpuMode{0};       // 0 "LowCPU", 1 "Brilliant"
    Relaxed<float> modulationActivity{0.0f};
};

// Structural changes wait here until the audio thread carries them out behind the
// fade to dry, one task per block.
struct RebuildRequests {
    Relaxed<bool> fullReset{false};
    Relaxed<bool> rateReset{false};
    Relaxed<bool> rateChange{false};
    Relaxed<bool> setup{false};
    Relaxed<bool> room{false};
    Relaxed<bool> hornUnit0{false};
    Relaxed<bool> hornUnit1{false};
    Relaxed<bool> hornCrossUnit{false};
    Relaxed<bool> drumMainUnit{false};
    Relaxed<bool> drumCrossUnit{false};
    Relaxed<bool> crossPaths{false};
    // Block-start updates, no fade needed.
    Relaxed<bool> toneEqDirty{false};
    Relaxed<bool> highLowPassDirty{false};
    // Set by every request above that needs the fade; the audio thread turns it
    // into fadeTarget 1 / fadeState 1.
    Relaxed<bool> fade{false};
};

} // namespace zel
