#!/usr/bin/env bash
# Configures and builds into the folder given (default build/); extra arguments
# go to cmake's configure step. A warning fails the build: the code has none.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
shift || true
cmake -S . -B "$dir" -G Ninja -DCMAKE_COMPILE_WARNING_AS_ERROR=ON "$@" >/dev/null
cmake --build "$dir" --parallel "$(nproc)"
