#!/usr/bin/env bash
# Checks that tools/make-artwork.py reproduces the committed bitmaps and contact
# sheet bit for bit: it draws everything again into a temporary folder and
# compares file by file. Exits non-zero and names the files that differ.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
python="${ZEL_ARTWORK_PYTHON:-/usr/bin/python3}"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT

"$python" "$root/tools/make-artwork.py" --out "$scratch/resources" --sheet "$scratch/artwork.png"

status=0
for drawn in "$scratch"/resources/*.png; do
    name="$(basename "$drawn")"
    if [ ! -f "$root/resources/$name" ]; then
        echo "check-artwork: resources/$name is missing" >&2
        status=1
    elif ! cmp -s "$drawn" "$root/resources/$name"; then
        echo "check-artwork: resources/$name differs from what the generator draws" >&2
        status=1
    fi
done
for committed in "$root"/resources/*.png; do
    name="$(basename "$committed")"
    if [ ! -f "$scratch/resources/$name" ]; then
        echo "check-artwork: resources/$name is not drawn by the generator" >&2
        status=1
    fi
done
if ! cmp -s "$scratch/artwork.png" "$root/docs/artwork.png"; then
    echo "check-artwork: docs/artwork.png differs from what the generator draws" >&2
    status=1
fi
if [ "$status" -eq 0 ]; then
    echo "check-artwork: $(ls "$scratch"/resources/*.png | wc -l) bitmaps and the contact sheet match"
fi
exit "$status"
