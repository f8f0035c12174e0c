#include "host/Progress.h"

#include <algorithm>
#include <unistd.h>

namespace zel::vortan {

namespace {

constexpr int kBarWidth = 30;
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

} // namespace

bool progressWanted() {
    return isatty(STDERR_FILENO) != 0;
}

Progress::Progress(int64_t totalFrames, double sampleRate, bool enabled)
    : total(totalFrames), rate(sampleRate), shown(enabled) {}

std::string Progress::bar(int64_t framesDone, int64_t totalFrames, double sampleRate) {
    const double fraction =
        totalFrames > 0 ? std::clamp(static_cast<double>(framesDone) / totalFrames, 0.0, 1.0) : 1.0;
    const int filled = static_cast<int>(fraction * kBarWidth);
    std::string text(1, '[');
    text.append(static_cast<size_t>(filled), '#');
    text.append(static_cast<size_t>(kBarWidth - filled), '.');
    text.push_back(']');
    char numbers[64];
    std::snprintf(numbers, sizeof numbers, " %3d%%  %.1f / %.1f s",
                  static_cast<int>(fraction * 100), static_cast<double>(framesDone) / sampleRate,
                  static_cast<double>(totalFrames) / sampleRate);
    return text + numbers;
}

void Progress::update(int64_t framesDone) {
    if (!shown) return;
    const auto now = std::chrono::steady_clock::now();
    if (drawn && now - lastDraw < kRedrawInterval && framesDone < total) return;
    lastDraw = now;
    drawn = true;
    std::fprintf(stderr, "\r%s", bar(framesDone, total, rate).c_str());
    std::fflush(stderr);
}

void Progress::finish() {
    if (!shown || !drawn) return;
    std::fprintf(stderr, "\r%*s\r", kBarWidth + 32, "");
    std::fflush(stderr);
    drawn = false;
}

} // namespace zel::vortan
