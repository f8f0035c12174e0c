// What parameter application hands the engine: smoothing targets, amp and tone
// settings, and the pending-rebuild requests. Written by whichever thread sets a
// parameter, read by the audio thread, so every field is a relaxed atomic.
#pragma once

#include "engine/Relaxed.h"

#include <cstdint>

namespace zel {

// Targets of the engine's smoothed values; the audio thread moves its current
// values toward them every frame (30 ms, the drive 100 ms).
struct SmoothedTargets {
    Relaxed<double> inputGain{0.0};
    Relaxed<double> drive{1.0};
    Relaxed<double> postDriveGain{0.0};
    Relaxed<double> hornInputGain{0.0};
    Relaxed<double> drumInputGain{0.0};
    Relaxed<double> hornMicLevel{0.0};
    Relaxed<double> micMakeupGain{1.0};
    Relaxed<double> mic2Gain{0.0};
    Relaxed<double> drumMicLevel{0.0};
    Relaxed<double> mic1PanLeft{1.0};
    Relaxed<double> mic1PanRight{0.0};
    Relaxed<double> mic2PanLeft{0.0};
    Relaxed<double> mic2PanRight{1.0};
    Relaxed<double> drumPanLeft{0.7071};
    Relaxed<double> drumPanRight{0.7071};
    Relaxed<double> drumToTubeFeedback{0.0};
    Relaxed<double> hornToDrumFeedback{0.0};
    Relaxed<double> brToTubeGain{0.0};
    Relaxed<double> brToDrumGain{0.0};
    Relaxed<double> hornHighPassMix{0.0};
    Relaxed<double> drumLowPassMix{0.0};
    Relaxed<double> roomReturnLevel{0.0};
    // Placement of the horn's mechanical noise between the two horn microphones.
    Relaxed<double> mechPanNear{0.7604059656};
    Relaxed<double> mechPanFar{0.6494480483};
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
