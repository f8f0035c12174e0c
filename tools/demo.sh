#!/usr/bin/env bash
# Builds the plug-in and the vortan host into build/ (Release) and renders the
# built-in organ demo through the plug-in into out/zel-vortan-demo.wav.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$root/tools/install-deps.sh"

cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=Release
cmake --build "$root/build" --target zelvortan vortan -j"$(nproc)"

plugin="$root/build/Zel Vortan_x64.so"
[ -f "$plugin" ] || plugin="$root/build/Zel Vortan.so"
mkdir -p "$root/out"
demo="$root/out/zel-vortan-demo.wav"
"$root/build/host/vortan" render "$plugin" "$demo"
echo "The demo is in $demo"
