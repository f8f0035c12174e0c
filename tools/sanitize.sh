#!/usr/bin/env bash
# Builds the test programs with a sanitizer and runs them; any report fails.
#
#   tools/sanitize.sh thread     ThreadSanitizer, in build-tsan/
#   tools/sanitize.sh address    AddressSanitizer and UndefinedBehaviorSanitizer,
#                                in build-asan/
#
# Only the programs listed below are built and run (each as one process, so a
# sanitizer starts once per program). ZEL_STRESS_CYCLES sets the stress test's
# cycles (default 12 here as in the normal suite); JOBS the build's parallel jobs.
set -euo pipefail

# The programs each sanitizer runs: the concurrency of the stress test, MIDI and
# parameter application under ThreadSanitizer; every reader of outside bytes and
# the engine under AddressSanitizer and UndefinedBehaviorSanitizer.
thread_tests=(test_stress test_plugin)
address_tests=(test_stress test_plugin test_presets test_params test_engine)

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
kind="${1:-}"
case "$kind" in
thread)
    build="$root/build-tsan"
    flags="-fsanitize=thread"
    tests=("${thread_tests[@]}")
    ;;
address)
    build="$root/build-asan"
    flags="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
    tests=("${address_tests[@]}")
    ;;
*)
    echo "usage: tools/sanitize.sh thread|address" >&2
    exit 2
    ;;
esac

bash "$root/tools/install-deps.sh"
# The host library is built too: the engine tests render its demo signal.
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZEL_BUILD_HOST=ON \
    -DZEL_STATIC_RUNTIME=OFF -DZEL_EXTRA_WARNINGS="-Wno-maybe-uninitialized" \
    -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_C_FLAGS="$flags" \
    -DCMAKE_EXE_LINKER_FLAGS="$flags" -DCMAKE_MODULE_LINKER_FLAGS="$flags" > /dev/null
cmake --build "$build" -j"${JOBS:-$(nproc)}" --target "${tests[@]}"

# A report stops the program with a failure exit status.
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1"
export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:strict_string_checks=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export ZEL_PLUGIN="$build/Zel Vortan_x64.so"
export ZELVORTAN_SETTINGS_DIR="$build/test-settings"
failed=()
for test in "${tests[@]}"; do
    start=$SECONDS
    if "$build/tests/$test" --gtest_brief=1; then
        echo "sanitize $kind: $test passed in $((SECONDS - start)) s"
    else
        echo "sanitize $kind: $test FAILED after $((SECONDS - start)) s" >&2
        failed+=("$test")
    fi
done
if [ ${#failed[@]} -gt 0 ]; then
    echo "sanitize $kind: failed: ${failed[*]}" >&2
    exit 1
fi
