#!/usr/bin/env bash
# Installs what Vennic needs (when run as root on Debian), then configures and builds.
# Usage: scripts/setup.sh [build-dir] [extra cmake arguments...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$root/build"}
shift || true

source "$root/scripts/lib/packages.sh"
packages=(g++ cmake make pkg-config libicu-dev libgtest-dev libgmock-dev libvterm-dev tmux)
# A clang build (CXX=clang++-14) needs the compiler too.
[[ ${CXX:-} == clang* ]] && packages+=(clang-14)
ensure_packages "${packages[@]}"

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$build" -j"$(nproc)"
