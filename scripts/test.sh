#!/usr/bin/env bash
# Sets everything up and runs the whole test suite; exits non-zero on any failure.
# Usage: scripts/test.sh [extra cmake arguments...]   (BUILD_DIR=... picks the build folder)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-"$root/build"}
"$root/scripts/setup.sh" "$build" "$@"
cd "$build"
ctest --output-on-failure -j"$(nproc)" --timeout 300
