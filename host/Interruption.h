// Ctrl-C and termination during a render: the signal only raises a flag, the
// render loop checks it after each block and stops through the normal error
// path, so the temporary output file is removed.
#pragma once

namespace zel::vortan {

class InterruptionGuard {
public:
    InterruptionGuard();  // catches SIGINT and SIGTERM
    ~InterruptionGuard(); // restores the previous handlers
    InterruptionGuard(const InterruptionGuard&) = delete;
    InterruptionGuard& operator=(const InterruptionGuard&) = delete;
};

// True once SIGINT or SIGTERM arrived while a guard was installed.
bool interruptionRequested();

} // namespace zel::vortan
