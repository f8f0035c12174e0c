// What a rotating source emitted: the input samples and the angle the rotor had
// when each left the mouth, 4096 samples back. Inputs are written twice (at i and
// i + 4096) so the cubic read of a delayed sample never wraps, and kept also in
// single precision for the reads that take eight rays to a register.
#pragma once

#include "engine/Interpolation.h"

#include <algorithm>
#include <array>

namespace zel {

class SourceHistory {
public:
    static constexpr int kLength = 4096;
    static constexpr int kMask = kLength - 1;

    // A history nothing was written to since it was last cleared is all zeros
    // already: the rate changes and resets that clear every unit several times in
    // a row (an instance's construction among them) skip the 96 KiB of stores.
    void clear() {
        w_ = 0;
        if (!written_) return;
        input_.fill(0.0);
        inputSingle_.fill(0.0f);
        angle_.fill(0.0);
        written_ = false;
    }

    void write(double x, double angle) {
        written_ = true;
        input_[w_] = x;
        input_[w_ + kLength] = x;
        const float single = static_cast<float>(x);
        inputSingle_[w_] = single;
        inputSingle_[w_ + kLength] = single;
        angle_[w_] = angle;
    }
    void advance() { w_ = (w_ + 1) & kMask; }
    // n samples in a row, as n write and advance calls would store them: the
    // entries before the ring's end, then the rest from its start, each
    // stretch in one pass.
    void writeRun(const double* x, const double* angles, int n) {
        if (n <= 0) return;
        written_ = true;
        for (int done = 0; done < n;) {
            const int length = std::min(n - done, kLength - w_);
            writeStretch(x + done, angles + done, length);
            w_ = (w_ + length) & kMask;
            done += length;
        }
    }
    int writeIndex() const { return w_; }
    // write in two halves, for runs that write a stretch's angles in one pass
    // and its inputs in another: sample `ahead` of the write index, where
    // write would put it after as many advance calls. advanceBy then moves
    // past the stretch.
    void writeAngleAhead(int ahead, double angle) {
        written_ = true;
        angle_[(w_ + ahead) & kMask] = angle;
    }
    void writeInputAhead(int ahead, double x) {
        written_ = true;
        const int at = (w_ + ahead) & kMask;
        input_[at] = x;
        input_[at + kLength] = x;
        const float single = static_cast<float>(x);
        inputSingle_[at] = single;
        inputSingle_[at + kLength] = single;
    }
    // writeInputAhead for samples 0 to n - 1 (n <= kLength), each stretch up to
    // the ring's end in one pass.
    void writeInputsAhead(const double* x, int n) {
        if (n <= 0) return;
        written_ = true;
        for (int done = 0; done < n;) {
            const int at = (w_ + done) & kMask;
            const int length = std::min(n - done, kLength - at);
            writeInputStretch(at, x + done, length);
            done += length;
        }
    }
    void advanceBy(int n) { w_ = (w_ + n) & kMask; }
    // angleBefore as it reads `ahead` samples later.
    double angleBeforeAhead(int ahead, double delaySamples) const {
        const int w = (w_ + ahead) & kMask;
        return angle_[static_cast<int>(w - delaySamples + kLength) & kMask];
    }
    // The stored inputs (2 kLength entries) and angles (kLength), for reads that
    // gather several rays' neighbours at once.
    const double* inputs() const { return input_.data(); }
    const double* angles() const { return angle_.data(); }
    // The stored inputs rounded to float (2 kLength entries).
    const float* inputsSingle() const { return inputSingle_.data(); }

    // The input delayed by a (fractional) number of samples.
    double inputBefore(double delaySamples) const {
        return readCubic(input_.data(), kLength, w_ - delaySamples);
    }
    // The rotor angle of the sample emitted delaySamples ago (whole samples).
    double angleBefore(double delaySamples) const {
        return angle_[static_cast<int>(w_ - delaySamples + kLength) & kMask];
    }

private:
    // length <= kLength - at inputs from `at` on (no wrap).
    void writeInputStretch(int at, const double* x, int length) {
        double* in = &input_[at];
        float* single = &inputSingle_[at];
        for (int j = 0; j < length; ++j) {
            in[j] = x[j];
            in[j + kLength] = x[j];
            single[j] = static_cast<float>(x[j]);
            single[j + kLength] = static_cast<float>(x[j]);
        }
    }
    // length <= kLength - w_ samples from w_ on (no wrap).
    void writeStretch(const double* x, const double* angles, int length) {
        writeInputStretch(w_, x, length);
        std::copy(angles, angles + length, &angle_[w_]);
    }

    std::array<double, 2 * kLength> input_{};
    std::array<float, 2 * kLength> inputSingle_{};
    std::array<double, kLength> angle_{};
    int w_ = 0;
    bool written_ = false;
};

} // namespace zel
