// Directivity tables are symmetric about the direction facing away from the
// microphone: over a full turn of N steps, entry N - s equals entry s. The tables
// are written down for the first half and completed here.
#pragma once

#include <array>
#include <cstddef>

namespace zel {

template <typename T, std::size_t Half>
constexpr std::array<T, 2 * Half - 1> mirroredTurn(const std::array<T, Half>& half) {
    std::array<T, 2 * Half - 1> full{};
    for (std::size_t i = 0; i < full.size(); ++i)
        full[i] = i < Half ? half[i] : half[2 * (Half - 1) - i];
    return full;
}

} // namespace zel
