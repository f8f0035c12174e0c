// What the processor offers beyond the build's baseline (SSE2), found once when
// the library loads, so per-sample code can pick a wider path without asking.
#pragma once

namespace zel {

// AVX2 together with FMA (every wide path fuses multiplies into adds). The answer
// never changes once the library has loaded, so the compiler may ask once per
// function and keep it out of loops.
[[gnu::const]] bool cpuHasAvx2() noexcept;

} // namespace zel
