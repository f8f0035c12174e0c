// Value-to-text formatters shared by the host texts and the editor readouts.
// Every formatter writes a NUL-terminated text into the caller's buffer and
// writes nothing when the buffer is null. Each write is bounded by
// kParameterTextSize, which holds every text the plug-in produces (the longest,
// "Early Refl. Virtual Room Size", is 29 characters); a value far outside 0..1
// gives a cut-off number instead of a write past the buffer.
#pragma once

#include <cstddef>

namespace zel {

constexpr std::size_t kParameterTextSize = 32;

// Building blocks of the host texts.
void decibelText(double gain, char* text);      // "%.1f" of 20 log10(g), "-oo"
void frequencyText(double hz, char* text);      // "%.2f" kHz from 1000 Hz, else "%.0f" Hz
void frequencyOrOffText(double hz, char* text); // "Off" at 0
const char* frequencyLabel(double hz);          // " ", "kHz" or "Hz"
void timeText(double seconds, char* text);      // "%.1f" s from 1 s, else "%.0f" ms
const char* timeLabel(double seconds);          // "s" or "ms"
double shownDistance(double metres);            // distance past the 0.35 m offset
void distanceText(double metres, char* text);   // metres = d(x); "0" below the offset
const char* distanceLabel(double metres);       // "m" from 1 m shown, else "cm"
void leverText(float x, char* text);            // "Chorale", "%d", "Tremolo"
void ampTypeText(float x, char* text);          // "Thru", "Tube", "Solid"
void panText(float x, char* text);              // "%.1f" of (2x - 1) 100
void midiChannelText(int channel, char* text);  // "OFF", "Ch %d", "OMNI"
const char* setupFirstWord(int position);       // position = rnd(5x); "" outside 0..5
const char* setupSecondWord(int position);
void setupText(float x, char* text); // both words joined, as the host sees it

// Editor forms: each takes the normalized value.
void setupFirstWordText(float x, char* text);
void setupSecondWordText(float x, char* text);
void sizeText(float x, char* text);             // "%d" of rnd(4x) + 1
void toneGainText(float x, char* text);         // "%.1f dB" of 24x - 12
void driveText(float x, char* text);            // "%.1f dB" of 40x - 20
void percentText(float x, char* text);          // "%.1f %%" of 100x
void timeTextWithUnit(float x, char* text);     // t(x): "565 ms", "1.0 s"
void highPassTextWithUnit(float x, char* text); // h(x): "Off  ", "20 Hz", "1.00 kHz"
void lowPassTextWithUnit(float x, char* text);  // l(x), the same way
void distanceTextWithUnit(float x, char* text); // d(x): "65 cm", "1.30 m"
void gainTextWithUnit(float x, char* text);     // G(x): "0.0 dB", "-oo dB"
void speedTextWithUnit(float x, char* text);    // "%.2f Hz" of 10x

// The readouts' form: the readout hands its user data along, and the text is
// written only when both the buffer and the user data are there.
using ReadoutFormatter = void (*)(float x, char* text, const void* userData);

// The readout formatter of a host parameter's knob; "Setup" has two readouts
// (0 upper, first word; 1 lower, second word). Null where there is no readout.
ReadoutFormatter readoutFormatter(int index, int readout = 0);

} // namespace zel
