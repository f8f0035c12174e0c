// Minimal WAV reading and writing for the host tests, independent of the
// library the host uses: 16-bit, 24-bit and 32-bit float PCM.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zel::vortan::test {

struct WavData {
    int channels = 0;
    int sampleRate = 0;
    int bitsPerSample = 0;
    bool isFloat = false;
    std::vector<double> samples; // interleaved, full scale = 1

    int64_t frames() const {
        return channels > 0 ? static_cast<int64_t>(samples.size()) / channels : 0;
    }
    double at(int64_t frame, int channel) const {
        return samples[static_cast<size_t>(frame * channels + channel)];
    }
};

// Throws std::runtime_error for a missing file or malformed contents.
WavData readWav(const std::string& path);
// bitsPerSample 16 (PCM) or 32 (float).
void writeWav(const std::string& path, const WavData& data);

} // namespace zel::vortan::test
