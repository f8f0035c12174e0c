// The shipped motor-noise tables: the recordings tools/make-motor-noise.cpp
// writes at build time, included here byte for byte by the assembler, and read
// in place.
#include "engine/data/MotorNoiseTables.h"

#include <cstddef>

#ifndef ZEL_MOTOR_NOISE_FILE
#error "ZEL_MOTOR_NOISE_FILE names the recordings the build writes (see CMakeLists.txt)"
#endif

// The recordings' size in floats, spelled out for the assembler; it must match
// the layout's.
#define ZEL_MOTOR_NOISE_FLOATS 1257816
#define ZEL_STRINGIFY(x) #x
#define ZEL_TO_STRING(x) ZEL_STRINGIFY(x)

namespace zel {

static_assert(ZEL_MOTOR_NOISE_FLOATS == kMotorNoiseShippedFloats && sizeof(float) == 4);

} // namespace zel

#define ZEL_MOTOR_NOISE_BYTES "4 * " ZEL_TO_STRING(ZEL_MOTOR_NOISE_FLOATS)

// In the read-only data, aligned for vector reads; hidden, so the module
// reaches it without a relocation. GCC's assembler checks the file's size
// exactly. Clang's cannot compare label positions in inline assembly: it takes
// at most the expected bytes (the generator writes no file of another size, and
// the tests compare the shipped tables with a fresh synthesis).
#if defined(__clang__)
#define ZEL_MOTOR_NOISE_INCBIN                                                                     \
    ".incbin \"" ZEL_MOTOR_NOISE_FILE "\", 0, " ZEL_MOTOR_NOISE_BYTES "\n"
#define ZEL_MOTOR_NOISE_SIZE_CHECK ""
#else
#define ZEL_MOTOR_NOISE_INCBIN ".incbin \"" ZEL_MOTOR_NOISE_FILE "\"\n"
#define ZEL_MOTOR_NOISE_SIZE_CHECK                                                                 \
    ".if . - zel_motor_noise_recordings - " ZEL_MOTOR_NOISE_BYTES "\n"                             \
    ".error \"the motor-noise recordings are not the tables' size\"\n"                             \
    ".endif\n"
#endif

asm(".pushsection .rodata.zel_motor_noise, \"a\", @progbits\n"
    ".balign 64\n"
    ".globl zel_motor_noise_recordings\n"
    ".hidden zel_motor_noise_recordings\n"
    ".type zel_motor_noise_recordings, @object\n"
    "zel_motor_noise_recordings:\n" ZEL_MOTOR_NOISE_INCBIN ZEL_MOTOR_NOISE_SIZE_CHECK
    ".size zel_motor_noise_recordings, . - zel_motor_noise_recordings\n"
    ".popsection\n");

extern "C" [[gnu::visibility("hidden")]] const float zel_motor_noise_recordings[];

namespace zel {

namespace {

MotorNoiseTables viewsOfRecordings() {
    MotorNoiseTables t;
    std::size_t offset = 0;
    for (const MotorNoiseTableLayout& l : kMotorNoiseLayout) {
        SampleTable& s = t.*l.table;
        s.samples = {zel_motor_noise_recordings + offset, static_cast<std::size_t>(l.storedLength)};
        s.usedLength = l.usedLength;
        offset += static_cast<std::size_t>(l.storedLength);
    }
    return t;
}

} // namespace

const MotorNoiseTables& motorNoiseTables() {
    static const MotorNoiseTables tables = viewsOfRecordings();
    return tables;
}

} // namespace zel
