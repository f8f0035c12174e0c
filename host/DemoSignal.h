// The built-in demo input: about 20 seconds of a drawbar-organ chord progression
// (additive tonewheel sines with a short key click at every note start), mono.
#pragma once

#include "host/AudioStream.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

namespace zel::vortan {

constexpr double kDemoSeconds = 20.0;
// When the demo throws the speed lever to fast and back to slow.
constexpr double kDemoLeverFastSeconds = 5.0;
constexpr double kDemoLeverSlowSeconds = 13.0;

class DemoSignal : public AudioSource {
public:
    explicit DemoSignal(double sampleRate);

    int channels() const override { return 1; }
    double sampleRate() const override { return rate; }
    int64_t frames() const override { return frameCount; }
    int64_t read(double* interleaved, int64_t count) override;

    // The demo's value at one frame, independent of reading order.
    double sampleAt(int64_t frame) const;

private:
    const std::vector<float>& toneFor(int note);
    double chordSample(size_t chord, double time) const;

    double rate;
    int64_t frameCount;
    int64_t position = 0;
    std::map<int, std::vector<float>> tones; // one tonewheel cycle per note
};

} // namespace zel::vortan
