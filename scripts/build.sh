#!/usr/bin/env bash
# Configures and builds Ormisk into build/ (or $ORMISK_BUILD_DIR), passing extra CMake arguments.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${ORMISK_BUILD_DIR:-$root/build}"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE="${ORMISK_BUILD_TYPE:-RelWithDebInfo}" "$@" >/dev/null
cmake --build "$build" -j "$(nproc)"
