// A progress bar on stderr for long renders, drawn only when stderr is a
// terminal and redrawn at most a few times a second.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

namespace zel::vortan {

class Progress {
public:
    Progress(int64_t totalFrames, double sampleRate, bool enabled);
    ~Progress() { finish(); }

    void update(int64_t framesDone);
    void finish(); // clears the bar

    // The bar for a state, e.g. "[##########..........]  50%  10.0 / 20.0 s".
    static std::string bar(int64_t framesDone, int64_t totalFrames, double sampleRate);

private:
    int64_t total;
    double rate;
    bool shown;
    bool drawn = false;
    std::chrono::steady_clock::time_point lastDraw{};
};

// Whether the progress bar should show: stderr is a terminal.
bool progressWanted();

} // namespace zel::vortan
