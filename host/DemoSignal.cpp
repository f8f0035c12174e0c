#include "host/DemoSignal.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace zel::vortan {

namespace {

struct Chord {
    double start;             // seconds
    double end;               // seconds, when the keys are released
    std::array<int, 7> notes; // MIDI note numbers, 0 = unused
};

// A gospel-flavoured progression in C, one chord every 2.5 s, the last held.
constexpr std::array<Chord, 8> kChords = {{
    {0.0, 2.47, {36, 48, 55, 60, 64, 67, 0}},
    {2.5, 4.97, {45, 57, 60, 64, 67, 72, 0}},
    {5.0, 7.47, {41, 53, 57, 60, 64, 69, 0}},
    {7.5, 9.97, {43, 55, 59, 62, 65, 71, 0}},
    {10.0, 12.47, {40, 52, 59, 62, 67, 71, 0}},
    {12.5, 14.97, {45, 57, 60, 64, 69, 72, 0}},
    {15.0, 16.97, {43, 53, 57, 60, 65, 69, 0}},
    {17.0, 19.5, {36, 48, 55, 60, 64, 67, 72}},
}};

// The nine drawbars as harmonics of the 16' sub-fundamental (16', 5 1/3', 8',
// 4', 2 2/3', 2', 1 3/5', 1 1/3', 1') and the registration pulled out.
constexpr std::array<int, 9> kDrawbarHarmonics = {1, 3, 2, 4, 6, 8, 10, 12, 16};
constexpr std::array<int, 9> kRegistration = {8, 8, 8, 5, 3, 4, 0, 2, 3};

constexpr size_t kToneSize = 2048;
constexpr double kVoiceGain = 0.1;
constexpr double kAttackSeconds = 0.003;
constexpr double kReleaseSeconds = 0.012;
constexpr double kClickGain = 0.45;
constexpr double kClickDecaySeconds = 0.002;
constexpr double kClickSeconds = 0.008;

double noteFrequency(int note) {
    return 440.0 * std::pow(2.0, (note - 69) / 12.0);
}

// Each drawbar step is 3 dB; 0 is off.
double drawbarGain(int setting) {
    return setting == 0 ? 0.0 : std::pow(10.0, -3.0 * (8 - setting) / 20.0);
}

// A fixed pseudo-random value in -1..1 for a frame and voice (splitmix64).
double noise(int64_t frame, int voice) {
    uint64_t z =
        static_cast<uint64_t>(frame) * 0x9E3779B97F4A7C15ull + static_cast<uint64_t>(voice);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    return static_cast<double>(z >> 11) * (2.0 / 9007199254740992.0) - 1.0;
}

double envelope(const Chord& chord, double time) {
    const double sinceStart = time - chord.start;
    if (sinceStart < 0.0) return 0.0;
    const double attack = std::min(1.0, sinceStart / kAttackSeconds);
    const double sinceEnd = time - chord.end;
    const double release = sinceEnd <= 0.0 ? 1.0 : std::max(0.0, 1.0 - sinceEnd / kReleaseSeconds);
    return attack * release;
}

} // namespace

DemoSignal::DemoSignal(double sampleRate)
    : rate(sampleRate), frameCount(static_cast<int64_t>(std::llround(kDemoSeconds * sampleRate))) {
    for (const Chord& chord : kChords) {
        for (int note : chord.notes) {
            if (note != 0) toneFor(note);
        }
    }
}

// One cycle of the sub-fundamental with every drawbar partial below 0.45 of the
// rate, normalized to a peak of 1.
const std::vector<float>& DemoSignal::toneFor(int note) {
    auto found = tones.find(note);
    if (found != tones.end()) return found->second;
    const double sub = noteFrequency(note) / 2.0;
    std::vector<double> cycle(kToneSize, 0.0);
    for (size_t bar = 0; bar < kDrawbarHarmonics.size(); ++bar) {
        const int harmonic = kDrawbarHarmonics[bar];
        const double gain = drawbarGain(kRegistration[bar]);
        if (gain == 0.0 || harmonic * sub >= 0.45 * rate) continue;
        for (size_t i = 0; i < kToneSize; ++i) {
            cycle[i] += gain * std::sin(2.0 * std::numbers::pi * harmonic * static_cast<double>(i) /
                                        kToneSize);
        }
    }
    double peak = 0.0;
    for (double v : cycle) peak = std::max(peak, std::fabs(v));
    std::vector<float> table(kToneSize);
    for (size_t i = 0; i < kToneSize; ++i) {
        table[i] = static_cast<float>(peak > 0.0 ? cycle[i] / peak : 0.0);
    }
    return tones.emplace(note, std::move(table)).first->second;
}

double DemoSignal::chordSample(size_t chordIndex, double time) const {
    const Chord& chord = kChords[chordIndex];
    const double level = envelope(chord, time);
    if (level == 0.0) return 0.0;
    const double sinceStart = time - chord.start;
    double sum = 0.0;
    for (size_t v = 0; v < chord.notes.size(); ++v) {
        const int note = chord.notes[v];
        if (note == 0) continue;
        const std::vector<float>& table = tones.at(note);
        const double cycles = sinceStart * noteFrequency(note) / 2.0;
        const double place = (cycles - std::floor(cycles)) * kToneSize;
        const size_t i = static_cast<size_t>(place) % kToneSize;
        const double fraction = place - std::floor(place);
        const double tone = table[i] + fraction * (table[(i + 1) % kToneSize] - table[i]);
        sum += kVoiceGain * tone;
    }
    // The key click: a short burst of differentiated noise at every key press.
    if (sinceStart < kClickSeconds) {
        const int64_t frame = static_cast<int64_t>(std::llround(time * rate));
        const int voice = static_cast<int>(chordIndex);
        const double click = noise(frame, voice) - noise(frame - 1, voice);
        sum += kClickGain * 0.5 * click * std::exp(-sinceStart / kClickDecaySeconds);
    }
    return level * sum;
}

double DemoSignal::sampleAt(int64_t frame) const {
    const double time = static_cast<double>(frame) / rate;
    double sum = 0.0;
    for (size_t c = 0; c < kChords.size(); ++c) {
        if (time >= kChords[c].start && time <= kChords[c].end + kReleaseSeconds) {
            sum += chordSample(c, time);
        }
    }
    return sum;
}

int64_t DemoSignal::read(double* interleaved, int64_t count) {
    const int64_t n = std::clamp<int64_t>(frameCount - position, 0, count);
    for (int64_t i = 0; i < n; ++i) interleaved[i] = sampleAt(position + i);
    position += n;
    return n;
}

} // namespace zel::vortan
