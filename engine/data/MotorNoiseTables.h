// The motor-noise sample tables: 32-bit floats at 44100 Hz, each with a few
// spare entries after its used length that repeat its first entries, so a
// Catmull-Rom read across the loop point stays continuous.
//
// The content is synthesized deterministically (seeded generator, arithmetic
// only, no run-time randomness): motor loops with mains hum, bearing whine and
// noise; rotor recordings with an air whoosh and mechanical ticks repeating once
// per revolution; a short switch clunk. The tables are built once per process on
// first use and shared by every instance. The alternative drum loop, which no
// player selects, is built only when asked for.
#pragma once

#include <memory>
#include <utility>
#include <vector>

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

// Leaves new elements of a vector uninitialized, so a table that is written in
// full right after its resize is not zero-filled first.
template <class T> struct UninitializedAllocator : std::allocator<T> {
    using value_type = T;
    UninitializedAllocator() = default;
    template <class U> UninitializedAllocator(const UninitializedAllocator<U>&) noexcept {}
    template <class U> struct rebind { using other = UninitializedAllocator<U>; };
    template <class U> void construct(U* p) noexcept { ::new (static_cast<void*>(p)) U; }
    template <class U, class... Args> void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};

struct SampleTable {
    std::vector<float, UninitializedAllocator<float>> samples; // stored entries
    int usedLength = 0;

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

// The shared tables, built on first use (thread-safe, once per process).
const MotorNoiseTables& motorNoiseTables();

// A fresh, independent generation of the same tables.
MotorNoiseTables buildMotorNoiseTables();

// The alternative drum loop (not selected by the players), built on first use,
// and a fresh generation of it.
const SampleTable& secondDrumLoop();
SampleTable buildSecondDrumLoop();

} // namespace zel
