#!/usr/bin/env bash
# Zel Vortan against two other rotary speakers on the same input: setBfree's
# b_whirl (LV2, extended) and Calf Rotary Speaker (LV2), each rendered with
# lv2file, and Zel Vortan rendered with vortan, in "LowCPU" and "Brilliant".
# Prints each one's real-time factor (seconds of audio per CPU second, file
# reading and writing included) and its ratio to Zel Vortan's.
#
#   bash bench/peers.sh [BUILD_DIR] [SECONDS] [RATE]
#
# BUILD_DIR holds the built plug-in and host/vortan (default: build). Installs
# lv2file, setbfree and calf-plugins with apt-get when they are missing.
set -euo pipefail

build=${1:-build}
seconds=${2:-30}
rate=${3:-44100}
plugin="$build/Zel Vortan_x64.so"
vortan="$build/host/vortan"
[[ -f "$plugin" ]] || plugin="$build/Zel Vortan.so"
for f in "$plugin" "$vortan"; do
    [[ -e "$f" ]] || { echo "peers.sh: $f not found (build the plug-in and vortan first)" >&2; exit 1; }
done

missing=()
for pkg in lv2file setbfree calf-plugins sox; do
    dpkg -s "$pkg" >/dev/null 2>&1 || missing+=("$pkg")
done
if ((${#missing[@]})); then
    sudo=""
    [[ $(id -u) -eq 0 ]] || sudo="sudo"
    $sudo apt-get update -qq
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
input="$work/organ.wav"
# A sustained A major chord with organ-like partials, in stereo.
sox -n -r "$rate" -b 24 "$input" synth "$seconds" \
    sine 220 sine 277.18 sine 329.63 sine 440 sine 660 sine 880 \
    remix - gain -12 channels 2

# CPU seconds (user + system) of one command; stops the script if it fails.
cpu_seconds() {
    local TIMEFORMAT='%U %S' status=0
    { time "$@" >"$work/log" 2>&1 || status=$?; } 2>"$work/time"
    if ((status)); then
        echo "peers.sh: failed ($status): $*" >&2
        cat "$work/log" >&2
        exit 1
    fi
    awk '{printf "%.3f", $1 + $2}' "$work/time"
}

declare -A factor
run() {
    local name=$1
    shift
    local cpu
    cpu=$(cpu_seconds "$@") || exit 1
    factor[$name]=$(awk -v s="$seconds" -v c="$cpu" 'BEGIN { printf "%.1f", s / c }')
    printf '%-28s %8s s CPU %10s x realtime\n' "$name" "$cpu" "${factor[$name]}"
}

echo "Input: $seconds s, $rate Hz, stereo, 24-bit WAV"
run "Zel Vortan (LowCPU)" "$vortan" render "$plugin" "$input" "$work/zel-low.wav" --set CPUmode=0
run "Zel Vortan (Brilliant)" "$vortan" render "$plugin" "$input" "$work/zel-brilliant.wav" --set CPUmode=1
run "setBfree b_whirl extended" lv2file -m -i "$input" -o "$work/whirl.wav" \
    -p rt_speed:8 'http://gareus.org/oss/lv2/b_whirl#extended'
run "Calf Rotary Speaker" lv2file -i "$input" -o "$work/calf.wav" \
    -p vib_speed:2 'http://calf.sourceforge.net/plugins/RotarySpeaker'

echo
echo "Ratio of each real-time factor to Zel Vortan's:"
for name in "setBfree b_whirl extended" "Calf Rotary Speaker" "Zel Vortan (Brilliant)"; do
    for ref in "Zel Vortan (LowCPU)" "Zel Vortan (Brilliant)"; do
        [[ $name == "$ref" ]] && continue
        awk -v a="${factor[$name]}" -v b="${factor[$ref]}" -v n="$name" -v r="$ref" \
            'BEGIN { printf "  %-28s / %-24s %6.2f\n", n, r, a / b }'
    done
done
