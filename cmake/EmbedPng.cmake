# Writes one PNG file as a byte array into a C++ source, at build time:
#   cmake -DINPUT=<file.png> -DOUTPUT=<file.cpp> -DSYMBOL=<name> -P EmbedPng.cmake
# The array has external linkage in namespace zel::resources::embedded, so the
# lookup table can name it.
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
# Every byte as 0xNN, 20 to a line.
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
# CMake's regular expressions have no {n}: spell the twenty bytes out.
string(REPEAT "0x..," 20 line)
string(REGEX REPLACE "(${line})" "\\1\n    " bytes "${bytes}")
get_filename_component(name "${INPUT}" NAME)
file(WRITE "${OUTPUT}.tmp"
"// Generated from ${name} by EmbedPng.cmake; do not edit.
#include <cstddef>
#include <cstdint>

namespace zel::resources::embedded {
extern const uint8_t ${SYMBOL}[${size}];
extern const std::size_t ${SYMBOL}Size;
const uint8_t ${SYMBOL}[${size}] = {
    ${bytes}
};
const std::size_t ${SYMBOL}Size = ${size};
} // namespace zel::resources::embedded
")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
