// Audio files through libsndfile: the render input (WAV, FLAC, AIFF, Ogg; mono or
// stereo) and the render output, written to a temporary file beside its final
// name and renamed there on commit.
#pragma once

#include "host/AudioStream.h"

#include <optional>
#include <string>

struct sf_private_tag;

namespace zel::vortan {

enum class FileFormat { wav, flac, aiff, ogg };
enum class SampleFormat { pcm16, pcm24, float32, vorbis };

struct OutputFormat {
    FileFormat file;
    SampleFormat samples;
};

std::optional<FileFormat> fileFormatNamed(const std::string& name);     // "wav", "flac"
std::optional<SampleFormat> sampleFormatNamed(const std::string& bits); // "16", "24", "32f"
std::string describe(const OutputFormat& format);                       // "WAV 24-bit"

class AudioFileReader : public AudioSource {
public:
    // Throws HostError for a missing or unreadable file, a format other than the
    // four above, or more than two channels.
    explicit AudioFileReader(const std::string& path);
    ~AudioFileReader() override;
    AudioFileReader(const AudioFileReader&) = delete;
    AudioFileReader& operator=(const AudioFileReader&) = delete;

    int channels() const override { return channelCount; }
    double sampleRate() const override { return rate; }
    int64_t frames() const override { return frameCount; }
    int64_t read(double* interleaved, int64_t count) override;

    // The file's own format, as the default for the output.
    OutputFormat format() const { return fileFormat; }

private:
    std::string path;
    sf_private_tag* file = nullptr;
    int channelCount = 0;
    double rate = 0.0;
    int64_t frameCount = 0;
    OutputFormat fileFormat{};
};

class AudioFileWriter : public AudioSink {
public:
    // Creates the temporary file beside `path`; throws HostError when the format
    // cannot hold these channels and rate, or the file cannot be created.
    AudioFileWriter(const std::string& path, const OutputFormat& format, int channels,
                    int sampleRate);
    ~AudioFileWriter() override; // removes the temporary file unless committed
    AudioFileWriter(const AudioFileWriter&) = delete;
    AudioFileWriter& operator=(const AudioFileWriter&) = delete;

    void write(const double* interleaved, int64_t count) override;
    void commit() override;

private:
    void closeFile();

    std::string finalPath;
    std::string temporaryPath;
    sf_private_tag* file = nullptr;
    int channelCount = 0;
    bool committed = false;
};

// True when both paths name the same file (canonical paths, or the same inode
// for an existing output).
bool sameFile(const std::string& a, const std::string& b);

} // namespace zel::vortan
