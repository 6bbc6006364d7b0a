#!/usr/bin/env bash
# Installs what is missing, builds LyDevice and runs every test.
# Usage: scripts/test.sh [--qt6] [--sanitize] [build-dir]
#   --qt6       build with Qt 6 (default: Qt 5) into build-qt6/
#   --sanitize  AddressSanitizer and UndefinedBehaviorSanitizer, unoptimised, into build-asan/
set -euo pipefail
cd "$(dirname "$0")/.."

qt=5
sanitize=OFF
while [ $# -gt 0 ]; do
    case "$1" in
        --qt6) qt=6 ;;
        --sanitize) sanitize=ON ;;
        *) break ;;
    esac
    shift
done
build="${1:-build}"
if [ "$build" = build ]; then
    [ "$qt" = 6 ] && build="${build}-qt6"
    [ "$sanitize" = ON ] && build="${build}-asan"
fi

if [ "$qt" = 6 ]; then scripts/setup.sh --qt6; else scripts/setup.sh; fi
# The sanitizer build is unoptimised: it compiles faster and its reports point at the right lines.
buildType=Release
[ "$sanitize" = ON ] && buildType=Debug
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=$buildType -DLYDEVICE_SANITIZE=$sanitize -DLYDEVICE_QT_MAJOR=$qt
cmake --build "$build" -j"$(nproc)"
export QT_QPA_PLATFORM=offscreen
if [ "$sanitize" = ON ]; then
    # Qt's own libraries are not instrumented; their lifetime-of-process allocations are not ours.
    export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
fi
ctest --test-dir "$build" --output-on-failure -j"$(nproc)"
