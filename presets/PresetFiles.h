// Preset and bank files as bytes: splitting a chosen path into folder and file
// name, reading a file read-only up to a cap, and writing one so that the old
// file stays intact unless the new one was written completely.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zel {

// The cap on what any reader of stored bytes takes in: far above the largest
// image (a bank image is 42281 bytes), far below anything that could hurt.
constexpr std::size_t kMaxStoredBytes = 1u << 20;

// The folder (with its trailing "/") and the file name of a path, split at the
// last "/"; a path without one is all file name.
struct PathParts {
    std::string folder;
    std::string name;
};
PathParts splitPath(std::string_view path);

// The file's bytes, at most cap of them; none when it cannot be opened or read.
// The file is opened read-only, so read-only files load.
std::optional<std::vector<uint8_t>> readFileBytes(const std::string& path,
                                                  std::size_t cap = kMaxStoredBytes);

// Writes bytes to a new file beside path, flushes it to the disk and renames it
// over path. On any failure the new file is removed, path keeps its previous
// content and the answer is false. An existing file that the user may not
// write is not replaced.
bool writeFileAtomically(const std::string& path, std::span<const uint8_t> bytes);

} // namespace zel
