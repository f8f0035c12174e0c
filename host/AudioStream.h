// Where a render's audio comes from and goes to: interleaved 64-bit frames.
#pragma once

#include <cstdint>

namespace zel::vortan {

class AudioSource {
public:
    virtual ~AudioSource() = default;
    virtual int channels() const = 0;
    virtual double sampleRate() const = 0;
    virtual int64_t frames() const = 0; // total length
    // Reads up to `count` frames into `interleaved` (channels() values a frame);
    // answers the number read, fewer only at the end.
    virtual int64_t read(double* interleaved, int64_t count) = 0;
};

class AudioSink {
public:
    virtual ~AudioSink() = default;
    virtual void write(const double* interleaved, int64_t count) = 0;
    // Makes the written audio the final output; a sink destroyed without
    // commit leaves nothing behind.
    virtual void commit() = 0;
};

} // namespace zel::vortan
