#!/usr/bin/env bash
# Compares two renders of the same input: prints the RMS level of their
# difference relative to the RMS level of the first, in dB, and fails when it
# is above LIMIT_DB (default -90).
#
#   tools/compare-renders.sh REFERENCE.wav OTHER.wav [LIMIT_DB]
#
# sox mixes in 32-bit integers (-186 dB below full scale), far below any limit
# worth asking for here.
set -euo pipefail

reference="$1"
other="$2"
limit="${3:--90}"

# The "RMS lev dB" of sox's stats: the first number is over all channels.
rms_db() {
    sox -V1 "$@" -n stats 2>&1 | awk '/^RMS lev dB/ {print $4; exit}'
}

for file in "$reference" "$other"; do
    [ -f "$file" ] || { echo "compare-renders: no such file: $file" >&2; exit 2; }
done
if [ "$(sox --i -V1 -s "$reference")" != "$(sox --i -V1 -s "$other")" ] ||
   [ "$(sox --i -V1 -c "$reference")" != "$(sox --i -V1 -c "$other")" ]; then
    echo "compare-renders: $reference and $other differ in length or channels" >&2
    exit 1
fi

level="$(rms_db "$reference")"
difference="$(rms_db -m -v 1 "$reference" -v -1 "$other")"
awk -v level="$level" -v difference="$difference" -v limit="$limit" 'BEGIN {
    if (level == "-inf" || level == "") { print "compare-renders: the reference is silent"; exit 1 }
    if (difference == "-inf") { printf "difference: none (bit-identical), limit %s dB\n", limit; exit 0 }
    relative = difference - level
    printf "difference: %.1f dB relative to the reference RMS (%.1f dBFS), limit %s dB\n",
           relative, level, limit
    exit (relative <= limit) ? 0 : 1
}'
