#!/usr/bin/env bash
# Builds the 32-bit plug-in "Zel Vortan.so" for 32-bit hosts from the same
# sources (Debian's multilib compilers), into build-i386/, and checks that it
# exports exactly the two entry points.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# The editor links cairo and X11: their 32-bit development files sit beside the
# 64-bit ones once dpkg knows the i386 architecture.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    if [ "$(id -u)" -eq 0 ]; then dpkg --add-architecture i386; else sudo dpkg --add-architecture i386; fi
fi
ZEL_EXTRA_PACKAGES="g++-multilib libcairo2-dev:i386 libx11-dev:i386" \
    bash "$root/tools/install-deps.sh"

cmake -S "$root" -B "$root/build-i386" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/i386.cmake" -DZEL_BUILD_TESTS=OFF -DZEL_BUILD_HOST=OFF
cmake --build "$root/build-i386" -j"$(nproc)" --target zelvortan

module="$root/build-i386/Zel Vortan.so"
exports="$(nm -D --defined-only "$module" | awk '{print $3}' | sort | tr '\n' ' ')"
if [ "$exports" != "VSTPluginMain main " ]; then
    echo "build-i386: unexpected exports: $exports" >&2
    exit 1
fi
file "$module"
echo "build-i386: $module"
