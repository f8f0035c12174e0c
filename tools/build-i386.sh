#!/usr/bin/env bash
# Builds the 32-bit plug-in "Zel Vortan.so" for 32-bit hosts from the same
# sources (Debian's multilib compilers), into build-i386/, with the 32-bit
# vortan and the plug-in and preset tests, then:
#   - checks that the module exports exactly the two entry points;
#   - runs the dispatcher, chunk and other plug-in and preset tests in 32 bits
#     (the module tests load build-i386/Zel Vortan.so itself);
#   - renders the demo through the 32-bit module with the 32-bit vortan and,
#     when build/ holds the 64-bit module and vortan (tools/test.sh), compares it
#     with the 64-bit render: at most -90 dB apart (both use SSE2 arithmetic).
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build-i386"

# The 32-bit libraries come from Debian's i386 archive, beside the 64-bit ones.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    if [ "$(id -u)" -eq 0 ]; then dpkg --add-architecture i386; else sudo dpkg --add-architecture i386; fi
fi
ZEL_EXTRA_PACKAGES="g++-multilib libsndfile1-dev:i386 libgtest-dev:i386 libcairo2-dev:i386 libx11-dev:i386 libxtst-dev:i386 zlib1g-dev:i386 ${ZEL_EXTRA_PACKAGES:-}" \
    bash "$root/tools/install-deps.sh"

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/i386.cmake" -DZEL_BUILD_TESTS=ON -DZEL_BUILD_HOST=ON
cmake --build "$build" -j"${JOBS:-$(nproc)}" --target zelvortan vortan test_plugin test_presets

module="$build/Zel Vortan.so"
exports="$(nm -D --defined-only "$module" | awk '{print $3}' | sort | tr '\n' ' ')"
if [ "$exports" != "VSTPluginMain main " ]; then
    echo "build-i386: unexpected exports: $exports" >&2
    exit 1
fi
file "$module"

# Only the test programs built above; the others stand as "_NOT_BUILT" entries.
# The artwork and manual-installation checks do not depend on the word size and
# run with the 64-bit build, as does the engine's run on the SSE2 paths (the
# only paths this module has).
(cd "$build" && ctest -E '_NOT_BUILT$|^artwork_reproducible$|^install_manual$|^engine_on_baseline_paths$' \
    --output-on-failure -j"${JOBS:-$(nproc)}")

# The demo through both modules, as 32-bit float files, with no stored defaults.
renders="$build/renders"
mkdir -p "$renders/settings"
export ZELVORTAN_SETTINGS_DIR="$renders/settings"
"$build/host/vortan" render "$module" "$renders/demo-i386.wav" --format wav --bits 32f
reference_host="$root/build/host/vortan"
reference_module="$root/build/Zel Vortan_x64.so"
if [ -x "$reference_host" ] && [ -f "$reference_module" ]; then
    "$reference_host" render "$reference_module" "$renders/demo-x64.wav" --format wav --bits 32f
    echo -n "build-i386: 32-bit against 64-bit render: "
    bash "$root/tools/compare-renders.sh" "$renders/demo-x64.wav" "$renders/demo-i386.wav" -90
else
    echo "build-i386: no 64-bit build in build/ to compare the render with"
fi

# The 32-bit module's editor, opened by the 32-bit host in an X11 window (a
# virtual one when no display is set), must show the whole 401 x 570 face.
shot="$renders/editor-i386.png"
display=()
[ -n "${DISPLAY:-}" ] || display=(xvfb-run -a -s "-screen 0 1280x1024x24")
"${display[@]}" "$build/host/vortan" edit "$module" --screenshot "$shot" --after 1
if ! file "$shot" | grep -q "PNG image data, 401 x 570"; then
    echo "build-i386: the 32-bit editor's picture is not 401 x 570: $(file -b "$shot")" >&2
    exit 1
fi
echo "build-i386: $module"
