// The motor-noise sample tables: 32-bit floats at 44100 Hz, each with a few
// spare entries after its used length that repeat its first entries, so a
// Catmull-Rom read across the loop point stays continuous.
//
// The content is synthesized deterministically (seeded generator, arithmetic
// only, no run-time randomness): motor loops with mains hum, bearing whine and
// noise; rotor recordings with an air whoosh and mechanical ticks repeating once
// per revolution; a short switch clunk. The synthesis runs at build time
// (tools/make-motor-noise.cpp): the plug-in ships its result and reads the
// tables in place, so no process pays for it. The alternative drum loop, which
// no player selects, is not shipped: it is synthesized only when asked for.
#pragma once

#include <cstddef>
#include <memory>
#include <span>

namespace zel {

inline constexpr double kMotorNoiseTableRate = 44100.0;

inline constexpr int kHornLoopLength = 63884;
inline constexpr int kHornLoopStored = 63888;
inline constexpr int kHornRotorLength = 219418;
inline constexpr int kHornRotorStored = 228564;
inline constexpr int kHornRotorRevolutions = 34;
inline constexpr int kDrumLoopLength = 270144;
inline constexpr int kDrumLoopStored = 270148;
inline constexpr int kDrumRotorLength = 627298;
inline constexpr int kDrumRotorStored = 627372;
inline constexpr int kDrumRotorRevolutions = 88;
inline constexpr int kTransitionLength = 3955;
inline constexpr int kTransitionStored = 3956;

// A table's stored entries: a view of the shipped recordings, or of the
// table's own storage when it is synthesized afresh (moving the table keeps the
// view valid; it is not copied).
struct SampleTable {
    std::span<const float> samples; // stored entries
    int usedLength = 0;
    std::unique_ptr<float[]> owned; // the entries of a fresh synthesis, else empty

    const float* data() const noexcept { return samples.data(); }
    int storedLength() const noexcept { return static_cast<int>(samples.size()); }
};

struct MotorNoiseTables {
    SampleTable hornLoopA;  // slow-speed loop of horn unit 0
    SampleTable hornLoopB;  // slow-speed loop of horn unit 1
    SampleTable hornRotor;  // 34 horn revolutions at fast speed
    SampleTable drumLoop;   // drum motor loop at slow speed
    SampleTable drumRotor;  // 88 drum revolutions at fast speed
    SampleTable transition; // one-shot speed-switch sound
};

// The tables in the order the recordings ship them, one after the other, with
// their used and stored lengths.
struct MotorNoiseTableLayout {
    SampleTable MotorNoiseTables::*table;
    int usedLength;
    int storedLength;
};
inline constexpr MotorNoiseTableLayout kMotorNoiseLayout[] = {
    {&MotorNoiseTables::hornLoopA, kHornLoopLength, kHornLoopStored},
    {&MotorNoiseTables::hornLoopB, kHornLoopLength, kHornLoopStored},
    {&MotorNoiseTables::hornRotor, kHornRotorLength, kHornRotorStored},
    {&MotorNoiseTables::drumLoop, kDrumLoopLength, kDrumLoopStored},
    {&MotorNoiseTables::drumRotor, kDrumRotorLength, kDrumRotorStored},
    {&MotorNoiseTables::transition, kTransitionLength, kTransitionStored},
};
inline constexpr std::size_t kMotorNoiseShippedFloats = [] {
    std::size_t n = 0;
    for (const MotorNoiseTableLayout& l : kMotorNoiseLayout)
        n += static_cast<std::size_t>(l.storedLength);
    return n;
}();

// The shipped tables (views of the plug-in's own read-only data; nothing is
// built or copied).
const MotorNoiseTables& motorNoiseTables();

// A fresh synthesis of the same tables: what the build ships.
MotorNoiseTables buildMotorNoiseTables();

// The alternative drum loop (not selected by the players), built on first use,
// and a fresh generation of it.
const SampleTable& secondDrumLoop();
SampleTable buildSecondDrumLoop();

} // namespace zel
