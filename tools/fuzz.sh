#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, address and undefined-behaviour
# sanitizers) and runs each for SECONDS (default 60), one after another.
#
#   tools/fuzz.sh [SECONDS] [TARGET...]      e.g. tools/fuzz.sh 600 set_chunk
#
# Each target starts from its committed seeds in fuzz/corpus/<target>/ and
# keeps what it finds in fuzz/corpus-run/<target>/ (not committed), where
# crash files land as well. Prints the executions of each target; exits with
# a failure when any target found a fault. BUILD_DIR overrides the build folder.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
seconds="${1:-60}"
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    targets=(set_chunk bank_image preset_image legacy_layouts preset_file bank_file stored_values)
fi
build="${BUILD_DIR:-$root/build-fuzz}"

ZEL_EXTRA_PACKAGES="clang libclang-rt-14-dev ${ZEL_EXTRA_PACKAGES:-}" bash "$root/tools/install-deps.sh"

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DZEL_BUILD_FUZZ=ON -DZEL_BUILD_TESTS=OFF -DZEL_BUILD_HOST=OFF > /dev/null
cmake --build "$build" -j"${JOBS:-2}" --target $(printf 'fuzz_%s ' "${targets[@]}")

failed=0
for target in "${targets[@]}"; do
    work="$root/fuzz/corpus-run/$target"
    mkdir -p "$work/artifacts"
    log="$work/last-run.log"
    set +e
    "$build/fuzz/fuzz_$target" "$work" "$root/fuzz/corpus/$target" \
        -max_total_time="$seconds" -close_fd_mask=2 -print_final_stats=1 \
        -artifact_prefix="$work/artifacts/" > "$log" 2>&1
    status=$?
    set -e
    runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)"
    if [ $status -eq 0 ]; then
        echo "fuzz_$target: ${runs:-?} executions in ${seconds} s, no findings"
    else
        echo "fuzz_$target: FAILED after ${runs:-?} executions (exit $status); see $log"
        grep -E "ERROR|finding|SUMMARY" "$log" | head -n 5 || true
        failed=1
    fi
done
exit $failed
