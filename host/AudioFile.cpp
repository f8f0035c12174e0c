#include "host/AudioFile.h"

#include "host/HostError.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace zel::vortan {

namespace {

std::optional<FileFormat> readableFormat(int major) {
    switch (major) {
    case SF_FORMAT_WAV:
    case SF_FORMAT_WAVEX:
        return FileFormat::wav;
    case SF_FORMAT_FLAC:
        return FileFormat::flac;
    case SF_FORMAT_AIFF:
        return FileFormat::aiff;
    case SF_FORMAT_OGG:
        return FileFormat::ogg;
    default:
        return std::nullopt;
    }
}

// The output sample format closest to an input's, within what the file can hold.
SampleFormat closestSamples(FileFormat file, int subtype) {
    if (file == FileFormat::ogg) return SampleFormat::vorbis;
    switch (subtype) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_PCM_16:
    case SF_FORMAT_ULAW:
    case SF_FORMAT_ALAW:
        return SampleFormat::pcm16;
    case SF_FORMAT_PCM_24:
        return SampleFormat::pcm24;
    default: // 32-bit integer and float, double and anything else
        return file == FileFormat::flac ? SampleFormat::pcm24 : SampleFormat::float32;
    }
}

int sndfileFormat(const OutputFormat& format) {
    int major = SF_FORMAT_WAV;
    switch (format.file) {
    case FileFormat::wav:
        major = SF_FORMAT_WAV;
        break;
    case FileFormat::flac:
        major = SF_FORMAT_FLAC;
        break;
    case FileFormat::aiff:
        major = SF_FORMAT_AIFF;
        break;
    case FileFormat::ogg:
        major = SF_FORMAT_OGG;
        break;
    }
    int subtype = SF_FORMAT_PCM_24;
    switch (format.samples) {
    case SampleFormat::pcm16:
        subtype = SF_FORMAT_PCM_16;
        break;
    case SampleFormat::pcm24:
        subtype = SF_FORMAT_PCM_24;
        break;
    case SampleFormat::float32:
        subtype = SF_FORMAT_FLOAT;
        break;
    case SampleFormat::vorbis:
        subtype = SF_FORMAT_VORBIS;
        break;
    }
    return major | subtype;
}

std::string temporaryPattern(const std::string& finalPath) {
    const std::filesystem::path target(finalPath);
    std::string name(1, '.');
    name.append(target.filename().string()).append(".vortan-XXXXXX");
    return (target.parent_path() / name).string();
}

void makeReadableLikeNewFiles(const std::string& path) {
    const mode_t mask = umask(0);
    umask(mask);
    chmod(path.c_str(), 0666 & ~mask);
}

} // namespace

std::optional<FileFormat> fileFormatNamed(const std::string& name) {
    if (name == "wav") return FileFormat::wav;
    if (name == "flac") return FileFormat::flac;
    return std::nullopt;
}

std::optional<SampleFormat> sampleFormatNamed(const std::string& bits) {
    if (bits == "16") return SampleFormat::pcm16;
    if (bits == "24") return SampleFormat::pcm24;
    if (bits == "32f") return SampleFormat::float32;
    return std::nullopt;
}

std::string describe(const OutputFormat& format) {
    static constexpr const char* kFiles[] = {"WAV", "FLAC", "AIFF", "Ogg"};
    static constexpr const char* kSamples[] = {"16-bit", "24-bit", "32-bit float", "Vorbis"};
    return std::string(kFiles[static_cast<int>(format.file)]) + " " +
           kSamples[static_cast<int>(format.samples)];
}

AudioFileReader::AudioFileReader(const std::string& filePath) : path(filePath) {
    SF_INFO info{};
    file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        throw HostError(oneLine("cannot read '" + path + "': " + sf_strerror(nullptr)));
    }
    const std::optional<FileFormat> format = readableFormat(info.format & SF_FORMAT_TYPEMASK);
    if (!format) {
        sf_close(file);
        file = nullptr;
        throw HostError("'" + path +
                        "' is in a format vortan does not read (WAV, FLAC, AIFF "
                        "and Ogg are)");
    }
    if (info.channels != 1 && info.channels != 2) {
        sf_close(file);
        file = nullptr;
        throw HostError("'" + path + "' has " + std::to_string(info.channels) +
                        " channels; vortan reads mono and stereo files");
    }
    if (info.frames < 0 || info.frames == SF_COUNT_MAX || info.samplerate <= 0) {
        sf_close(file);
        file = nullptr;
        throw HostError("cannot tell the length or rate of '" + path + "'");
    }
    channelCount = info.channels;
    rate = info.samplerate;
    frameCount = info.frames;
    fileFormat = {*format, closestSamples(*format, info.format & SF_FORMAT_SUBMASK)};
}

AudioFileReader::~AudioFileReader() {
    if (file != nullptr) sf_close(file);
}

int64_t AudioFileReader::read(double* interleaved, int64_t count) {
    const sf_count_t got = sf_readf_double(file, interleaved, count);
    if (got < count && sf_error(file) != SF_ERR_NO_ERROR) {
        throw HostError(oneLine("cannot read '" + path + "': " + sf_strerror(file)));
    }
    return got;
}

AudioFileWriter::AudioFileWriter(const std::string& path, const OutputFormat& format, int channels,
                                 int sampleRate)
    : finalPath(path), channelCount(channels) {
    SF_INFO info{};
    info.channels = channels;
    info.samplerate = sampleRate;
    info.format = sndfileFormat(format);
    if (!sf_format_check(&info)) {
        throw HostError("cannot write " + describe(format) + " with " + std::to_string(channels) +
                        " channels at " + std::to_string(sampleRate) + " Hz");
    }
    std::string pattern = temporaryPattern(path);
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int descriptor = mkstemp(name.data());
    if (descriptor < 0) {
        throw HostError("cannot create '" + path + "': " + std::strerror(errno));
    }
    temporaryPath = name.data();
    file = sf_open_fd(descriptor, SFM_WRITE, &info, SF_TRUE);
    if (file == nullptr) {
        const std::string reason = sf_strerror(nullptr);
        close(descriptor);
        std::remove(temporaryPath.c_str());
        throw HostError(oneLine("cannot write '" + path + "': " + reason));
    }
    sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
}

AudioFileWriter::~AudioFileWriter() {
    closeFile();
    if (!committed && !temporaryPath.empty()) std::remove(temporaryPath.c_str());
}

void AudioFileWriter::closeFile() {
    if (file == nullptr) return;
    sf_close(file);
    file = nullptr;
}

void AudioFileWriter::write(const double* interleaved, int64_t count) {
    if (file == nullptr) throw HostError("'" + finalPath + "' is already closed");
    if (sf_writef_double(file, interleaved, count) != count) {
        throw HostError(oneLine("cannot write '" + finalPath + "': " + sf_strerror(file)));
    }
}

void AudioFileWriter::commit() {
    if (file == nullptr) throw HostError("'" + finalPath + "' is already closed");
    sf_write_sync(file);
    const int closeError = sf_close(file);
    file = nullptr;
    if (closeError != 0) {
        throw HostError(
            oneLine("cannot write '" + finalPath + "': " + sf_error_number(closeError)));
    }
    makeReadableLikeNewFiles(temporaryPath);
    if (std::rename(temporaryPath.c_str(), finalPath.c_str()) != 0) {
        throw HostError("cannot create '" + finalPath + "': " + std::strerror(errno));
    }
    committed = true;
}

bool sameFile(const std::string& a, const std::string& b) {
    std::error_code error;
    const auto canonicalA = std::filesystem::weakly_canonical(a, error);
    if (error) return false;
    const auto canonicalB = std::filesystem::weakly_canonical(b, error);
    if (error) return false;
    if (canonicalA == canonicalB) return true;
    struct stat statA {};
    struct stat statB {};
    return stat(a.c_str(), &statA) == 0 && stat(b.c_str(), &statB) == 0 &&
           statA.st_dev == statB.st_dev && statA.st_ino == statB.st_ino;
}

} // namespace zel::vortan
