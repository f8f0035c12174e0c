#!/usr/bin/env bash
# Installs the Debian packages that building, testing and the demo need.
# Uses sudo only when not root; does nothing when everything is installed.
set -euo pipefail

packages=(build-essential cmake pkg-config libgtest-dev libgmock-dev libbenchmark-dev
          libsndfile1-dev dragonfly-reverb-vst sox zlib1g-dev
          python3-cairo python3-pil fonts-liberation2
          # The editor's view layer: pugl's sources, cairo, X11, its font and file
          # dialog; the window tests run on Xvfb and drive it through XTEST.
          dpf-source libcairo2-dev libx11-dev zenity xvfb xauth libxtst-dev)
# The user manual (groff's PDF output).
packages+=(groff)
# Callers may ask for more, e.g. the 32-bit build's multilib compilers.
read -r -a extra <<< "${ZEL_EXTRA_PACKAGES:-}"
packages+=("${extra[@]}")

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done
if [ "${#missing[@]}" -eq 0 ]; then
    exit 0
fi

if [ "$(id -u)" -eq 0 ]; then
    as_root=()
elif command -v sudo >/dev/null 2>&1; then
    as_root=(sudo)
else
    echo "install-deps: need root or sudo to install: ${missing[*]}" >&2
    exit 1
fi

echo "install-deps: installing ${missing[*]}"
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -q --no-install-recommends "${missing[@]}"
