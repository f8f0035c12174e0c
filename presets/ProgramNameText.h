// A stored program's name as a text: the 24 name bytes up to the first NUL
// (a name from a file or a chunk need not be terminated).
#pragma once

#include "presets/CPresetSystemEffect.h"

#include <cstring>
#include <string>

namespace zel {

inline std::string programNameText(const ProgramRecord& record) {
    const void* end = std::memchr(record.name, '\0', kProgramNameSize);
    const std::size_t length =
        end ? static_cast<std::size_t>(static_cast<const char*>(end) - record.name)
            : static_cast<std::size_t>(kProgramNameSize);
    return std::string(record.name, length);
}

} // namespace zel
