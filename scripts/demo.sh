#!/usr/bin/env bash
# Sets everything up and runs the library's main demonstration.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-"$root/build"}
"$root/scripts/setup.sh" "$build"
exec "$build/examples/palette" "$@"
