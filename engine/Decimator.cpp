#include "engine/Decimator.h"

#include "engine/data/DecimatorTables.h"

namespace zel {

static_assert(Decimator::kTaps == decimator::kTaps);

void Decimator::setFactor(int factor) noexcept {
    const decimator::Table* table = decimator::tableFor(factor);
    table_ = table ? table->data() : nullptr;
    factor_ = table ? factor : 1;
}

void Decimator::clear() noexcept {
    input_.fill(0.0f);
    outLeft_.fill(0.0f);
    outRight_.fill(0.0f);
    index_ = kStartIndex;
}

// Single-precision dot product of the 32 taps with 32 history entries. Eight
// partial sums keep the additions independent (and vectorizable); the rounding
// differs from a sequential sum only in the last bits of a float.
float Decimator::dot(const float* table, const float* history) noexcept {
    float partial[8] = {};
    for (int k = 0; k < kTaps; k += 8)
        for (int j = 0; j < 8; ++j) partial[j] += table[k + j] * history[k + j];
    return ((partial[0] + partial[1]) + (partial[2] + partial[3])) +
           ((partial[4] + partial[5]) + (partial[6] + partial[7]));
}

double Decimator::pushInput(double a) noexcept {
    index_ = (index_ + kTaps - 1) & (kTaps - 1);
    const float x = static_cast<float>(a);
    input_[index_] = x;
    input_[index_ + kTaps] = x;
    if (!table_) return x;
    return dot(table_, &input_[index_]);
}

Decimator::Pair Decimator::interpolate(double left, double right) noexcept {
    if (!table_) return {static_cast<float>(left), static_cast<float>(right)};
    const double gain = factor_;
    const float l = static_cast<float>(left * gain);
    const float r = static_cast<float>(right * gain);
    outLeft_[index_] = l;
    outLeft_[index_ + kTaps] = l;
    outRight_[index_] = r;
    outRight_[index_ + kTaps] = r;
    return {dot(table_, &outLeft_[index_]), dot(table_, &outRight_[index_])};
}

} // namespace zel
