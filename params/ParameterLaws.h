// The laws that turn a normalized parameter value (0..1) into a setting. One
// place for all of them: the host texts, parameter application and the editor
// readouts use these same functions, so a text always shows what the engine gets.
// Every law is computed in double; where the result is kept in single precision
// by the engine it is rounded to float here, so that the rounding is the same
// everywhere.
#pragma once

namespace zel::law {

// Gain taper G: 0 is silence, 0.5 is 0 dB (1.0004), 1 is +12 dB (3.9832).
constexpr double kGainScale = 0.5048;
constexpr double kGainExponent = 2.185;
// Unity gain taper Gu: 0.5 is -12 dB (0.2512), 1 is 0 dB.
constexpr double kUnityGainScale = 0.126794;
constexpr double kUnityGainExponent = 2.18457;
// Time law t: 0.1 s to 10 s.
constexpr double kTimeBase = 0.1;
constexpr double kTimeRange = 100.0;
// Distance law d: 0.35 m to 1.65 m.
constexpr float kDistanceSpan = 1.3f;
constexpr float kDistanceOffset = 0.35f;
// Frequency law f: 200 Hz to 20 kHz.
constexpr double kFrequencyBase = 200.0;
constexpr double kFrequencyRange = 100.0;
// Radius law r: 0.125 m to 0.25 m.
constexpr double kRadiusScale = 0.201667;
constexpr double kRadiusExponent = 0.482324;
constexpr double kRadiusOffset = 0.0766667;
// High-pass law h: 20 Hz to 1000 Hz, off below kHighPassOnset.
constexpr double kHighPassScale = 53.33;
constexpr double kHighPassExponent = 2.966;
constexpr double kHighPassOffset = 34.94;
constexpr float kHighPassOnset = 0.01f; // normalized values are floats
// Drum low-pass law l: 200 Hz to 20 kHz, off at exactly 1.
constexpr double kLowPassBase = 200.0;
constexpr float kLowPassRange = 100.0f;

// rnd: truncation of v + 0.5 toward zero (0.5 rounds up). Saturates at the int
// range and gives 0 for NaN, so no value a host sends can make it undefined.
int rnd(double v);

float gainTaper(double x);      // G
float unityGainTaper(double x); // Gu
float timeLaw(double x);        // t, seconds
float distanceLaw(float x);     // d, metres, computed in float
float frequencyLaw(double x);   // f, Hz
float radiusLaw(double x);      // r, metres
double highPassLaw(float x);    // h, Hz; 0 means off
double lowPassLaw(float x);     // l, Hz; 0 means off (the power in float)

} // namespace zel::law
