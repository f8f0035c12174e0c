#include "host/Interruption.h"

#include <csignal>

namespace zel::vortan {

namespace {

volatile std::sig_atomic_t requested = 0;
struct sigaction previousInterrupt {};
struct sigaction previousTerminate {};

void onInterruption(int) {
    requested = 1;
}

} // namespace

InterruptionGuard::InterruptionGuard() {
    struct sigaction action {};
    action.sa_handler = onInterruption;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &previousInterrupt);
    sigaction(SIGTERM, &action, &previousTerminate);
}

InterruptionGuard::~InterruptionGuard() {
    sigaction(SIGINT, &previousInterrupt, nullptr);
    sigaction(SIGTERM, &previousTerminate, nullptr);
}

bool interruptionRequested() {
    return requested != 0;
}

} // namespace zel::vortan
