#!/usr/bin/env bash
# Sets everything up and runs the library's main demonstration, the gallery (exit status 0
# after its Quit button, 1 after Ctrl+C).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-"$root/build"}
"$root/scripts/setup.sh" "$build"
exec "$build/examples/gallery" "$@"
