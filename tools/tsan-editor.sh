#!/usr/bin/env bash
# The editor under ThreadSanitizer: builds the editor tests with
# -fsanitize=thread into build-tsan/ and leaves the editor open for a minute
# (ZEL_EDITOR_STRESS_SECONDS) while one thread processes audio with MIDI and
# another automates every parameter. Any data race fails the run.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
seconds="${ZEL_EDITOR_STRESS_SECONDS:-60}"
bash "$root/tools/install-deps.sh"

flags="-fsanitize=thread"
cmake -S "$root" -B "$root/build-tsan" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZEL_BUILD_HOST=OFF \
    -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" \
    -DCMAKE_MODULE_LINKER_FLAGS="$flags" -DCMAKE_SHARED_LINKER_FLAGS="$flags"
cmake --build "$root/build-tsan" -j"$(nproc)" --target test_editor

export ZEL_EDITOR_STRESS_SECONDS="$seconds"
export TSAN_OPTIONS="halt_on_error=1 suppressions=$root/tests/editor/tsan.supp"
run=("$root/build-tsan/tests/test_editor" --gtest_filter='EditorThreads.*')
if [ -z "${DISPLAY:-}" ]; then
    xvfb-run -a -s "-screen 0 1280x1024x24" "${run[@]}"
else
    "${run[@]}"
fi
