#include "WavFile.h"

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace zel::vortan::test {

namespace {

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatFloat = 3;
constexpr uint16_t kFormatExtensible = 0xFFFE;

class ByteReader {
public:
    explicit ByteReader(std::vector<uint8_t> data) : bytes(std::move(data)) {}
    size_t remaining() const { return bytes.size() - offset; }
    void need(size_t count) const {
        if (remaining() < count) throw std::runtime_error("WAV data ends early");
    }
    uint32_t u32() {
        need(4);
        const uint32_t v = bytes[offset] | bytes[offset + 1] << 8 | bytes[offset + 2] << 16 |
                           static_cast<uint32_t>(bytes[offset + 3]) << 24;
        offset += 4;
        return v;
    }
    uint16_t u16() {
        need(2);
        const uint16_t v = static_cast<uint16_t>(bytes[offset] | bytes[offset + 1] << 8);
        offset += 2;
        return v;
    }
    std::string tag() {
        need(4);
        std::string t(reinterpret_cast<const char*>(&bytes[offset]), 4);
        offset += 4;
        return t;
    }
    void skip(size_t count) {
        need(count);
        offset += count;
    }
    const uint8_t* here() const { return bytes.data() + offset; }

private:
    std::vector<uint8_t> bytes;
    size_t offset = 0;
};

double decodeSample(const uint8_t* p, int bits, bool isFloat) {
    if (isFloat) {
        float value;
        std::memcpy(&value, p, sizeof value);
        return value;
    }
    if (bits == 16) return static_cast<int16_t>(p[0] | p[1] << 8) / 32768.0;
    int32_t value = p[0] | p[1] << 8 | p[2] << 16;
    if (value & 0x800000) value -= 0x1000000;
    return value / 8388608.0;
}

void put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void put16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

} // namespace

WavData readWav(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open " + path);
    ByteReader reader(std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {}));
    if (reader.tag() != "RIFF") throw std::runtime_error(path + " is not RIFF");
    reader.u32();
    if (reader.tag() != "WAVE") throw std::runtime_error(path + " is not WAVE");
    WavData data;
    bool haveFormat = false;
    while (reader.remaining() >= 8) {
        const std::string tag = reader.tag();
        const uint32_t size = reader.u32();
        reader.need(size);
        if (tag == "fmt ") {
            if (size < 16) throw std::runtime_error("short fmt chunk");
            uint16_t format = reader.u16();
            data.channels = reader.u16();
            data.sampleRate = static_cast<int>(reader.u32());
            reader.u32();
            reader.u16();
            data.bitsPerSample = reader.u16();
            size_t rest = size - 16;
            if (format == kFormatExtensible && rest >= 10) {
                reader.skip(8); // extension size, valid bits, channel mask
                format = reader.u16();
                rest -= 10;
            }
            reader.skip(rest);
            data.isFloat = format == kFormatFloat;
            if ((format != kFormatPcm && format != kFormatFloat) || data.channels < 1 ||
                !(data.bitsPerSample == 16 || data.bitsPerSample == 24 ||
                  (data.isFloat && data.bitsPerSample == 32))) {
                throw std::runtime_error("unsupported WAV sample format in " + path);
            }
            haveFormat = true;
        } else if (tag == "data") {
            if (!haveFormat) throw std::runtime_error("data before fmt in " + path);
            const size_t width = static_cast<size_t>(data.bitsPerSample / 8);
            const size_t count = size / width;
            const uint8_t* p = reader.here();
            for (size_t i = 0; i < count; ++i) {
                data.samples.push_back(
                    decodeSample(p + i * width, data.bitsPerSample, data.isFloat));
            }
            return data;
        } else {
            reader.skip(size + (size & 1));
        }
    }
    throw std::runtime_error("no data chunk in " + path);
}

void writeWav(const std::string& path, const WavData& data) {
    const bool isFloat = data.bitsPerSample == 32;
    const uint32_t width = static_cast<uint32_t>(data.bitsPerSample / 8);
    const uint32_t dataSize = static_cast<uint32_t>(data.samples.size()) * width;
    std::vector<uint8_t> out;
    out.insert(out.end(), {'R', 'I', 'F', 'F'});
    put32(out, 36 + dataSize);
    out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put32(out, 16);
    put16(out, isFloat ? kFormatFloat : kFormatPcm);
    put16(out, static_cast<uint16_t>(data.channels));
    put32(out, static_cast<uint32_t>(data.sampleRate));
    put32(out,
          static_cast<uint32_t>(data.sampleRate) * width * static_cast<uint32_t>(data.channels));
    put16(out, static_cast<uint16_t>(width * static_cast<uint32_t>(data.channels)));
    put16(out, static_cast<uint16_t>(data.bitsPerSample));
    out.insert(out.end(), {'d', 'a', 't', 'a'});
    put32(out, dataSize);
    for (double sample : data.samples) {
        if (isFloat) {
            const float value = static_cast<float>(sample);
            uint32_t bits;
            std::memcpy(&bits, &value, sizeof bits);
            put32(out, bits);
        } else {
            const long value =
                std::lround(std::fmax(-32768.0, std::fmin(32767.0, sample * 32768.0)));
            put16(out, static_cast<uint16_t>(static_cast<int16_t>(value)));
        }
    }
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
    if (!file) throw std::runtime_error("cannot write " + path);
}

} // namespace zel::vortan::test
