#!/usr/bin/env bash
# Installs what is missing, builds LyDevice and runs every test.
# Usage: scripts/test.sh [--sanitize] [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."

sanitize=OFF
if [ "${1:-}" = "--sanitize" ]; then
    sanitize=ON
    shift
fi
build="${1:-build}"
[ "$sanitize" = ON ] && [ "$build" = build ] && build=build-asan

scripts/setup.sh
# The sanitizer build is unoptimised: it compiles faster and its reports point at the right lines.
buildType=Release
[ "$sanitize" = ON ] && buildType=Debug
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=$buildType -DLYDEVICE_SANITIZE=$sanitize
cmake --build "$build" -j"$(nproc)"
export QT_QPA_PLATFORM=offscreen
if [ "$sanitize" = ON ]; then
    # Qt's own libraries are not instrumented; their lifetime-of-process allocations are not ours.
    export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
fi
ctest --test-dir "$build" --output-on-failure -j"$(nproc)"
