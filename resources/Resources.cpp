#include "resources/Resources.h"

#include "resources/EmbeddedPng.h"

namespace zel::resources {

std::span<const uint8_t> findPng(int32_t id) noexcept {
    for (const embedded::EmbeddedPng& png : embedded::table())
        if (png.id == id) return {png.bytes, *png.size};
    return {};
}

} // namespace zel::resources
