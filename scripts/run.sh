#!/usr/bin/env bash
# Installs what is missing, builds LyDevice and its command-line tool, and runs
# `lydevice search-video` against the simulated recorder built into the tool.
# Arguments are passed on to search-video, e.g. scripts/run.sh --device ipc --timeline day.png
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build -j"$(nproc)" --target lydevice
exec build/tools/cli/lydevice search-video "$@"
