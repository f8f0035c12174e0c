#include "host/Screenshot.h"

#include "host/HostError.h"

#include <cairo.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <unistd.h>

namespace zel::vortan {

namespace {

struct SurfaceRelease {
    void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};

std::filesystem::path folderOf(const std::string& path) {
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    return parent.empty() ? std::filesystem::path(".") : parent;
}

} // namespace

void checkScreenshotPath(const std::string& path) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
        throw HostError("screenshot '" + path + "' is a directory");
    }
    const std::filesystem::path folder = folderOf(path);
    if (!std::filesystem::is_directory(folder, error)) {
        throw HostError("cannot write screenshot '" + path + "': folder '" + folder.string() +
                        "' does not exist");
    }
    if (::access(folder.c_str(), W_OK) != 0) {
        throw HostError("cannot write screenshot '" + path + "': " + std::strerror(errno));
    }
}

void writePng(const std::string& path, const WindowImage& image) {
    if (image.width < 1 || image.height < 1 ||
        image.pixels.size() !=
            static_cast<size_t>(image.width) * static_cast<size_t>(image.height)) {
        throw HostError("the editor's window gave no picture for the screenshot");
    }
    std::unique_ptr<cairo_surface_t, SurfaceRelease> surface(
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, image.width, image.height));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) {
        throw HostError("cannot make a " + std::to_string(image.width) + " x " +
                        std::to_string(image.height) + " image for the screenshot");
    }
    cairo_surface_flush(surface.get());
    unsigned char* data = cairo_image_surface_get_data(surface.get());
    const int stride = cairo_image_surface_get_stride(surface.get());
    // RGB24 keeps each pixel as a native-endian 32-bit word 0x00RRGGBB.
    for (int y = 0; y < image.height; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(data + static_cast<ptrdiff_t>(y) * stride);
        const uint32_t* from =
            image.pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(image.width);
        std::memcpy(row, from, static_cast<size_t>(image.width) * sizeof(uint32_t));
    }
    cairo_surface_mark_dirty(surface.get());

    const std::string temporary = path + ".part";
    const cairo_status_t status = cairo_surface_write_to_png(surface.get(), temporary.c_str());
    std::error_code error;
    if (status != CAIRO_STATUS_SUCCESS) {
        std::filesystem::remove(temporary, error);
        throw HostError("cannot write screenshot '" + path +
                        "': " + cairo_status_to_string(status));
    }
    std::filesystem::rename(temporary, path, error);
    if (error) {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        throw HostError("cannot write screenshot '" + path + "': " + error.message());
    }
}

} // namespace zel::vortan
