// The last normalized value given to every parameter index. Written by whichever
// thread sets a parameter and read by the audio thread and the editor, so every
// slot is a relaxed atomic. Indices keep their value in single or double
// precision as the parameter table says; indices without a setting, and indices
// outside 0..119, read back 0 and ignore writes.
#pragma once

#include "engine/Relaxed.h"
#include "params/ParameterTable.h"

#include <array>
#include <cstddef>

namespace zel {

class ParameterValues {
public:
    // Stores x if the index keeps a value; answers whether it did.
    bool set(int index, float x) noexcept {
        if (!inTable(index)) return false;
        switch (parameterStorage(index)) {
        case Storage::Float:
            floats[slot(index)].store(x);
            return true;
        case Storage::Double:
            doubles[slot(index)].store(static_cast<double>(x));
            return true;
        case Storage::None:
            return false;
        }
        return false;
    }

    // The kept value, in the precision it is kept in.
    double get(int index) const noexcept {
        if (!inTable(index)) return 0.0;
        switch (parameterStorage(index)) {
        case Storage::Float:
            return floats[slot(index)].load();
        case Storage::Double:
            return doubles[slot(index)].load();
        case Storage::None:
            return 0.0;
        }
        return 0.0;
    }

    // The kept value as the host reads it.
    float getFloat(int index) const noexcept { return static_cast<float>(get(index)); }

private:
    static bool inTable(int index) noexcept { return index >= 0 && index < kNumParameters; }
    static std::size_t slot(int index) noexcept { return static_cast<std::size_t>(index); }

    std::array<Relaxed<float>, kNumParameters> floats{};
    std::array<Relaxed<double>, kNumParameters> doubles{};
};

} // namespace zel
