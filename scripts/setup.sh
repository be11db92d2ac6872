#!/usr/bin/env bash
# Installs what Vennic needs (when run as root on Debian), then configures and builds.
# Usage: scripts/setup.sh [build-dir] [extra cmake arguments...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$root/build"}
shift || true

source "$root/scripts/lib/packages.sh"
packages=(g++ cmake make pkg-config ccache libicu-dev libgtest-dev libgmock-dev libvterm-dev tmux)
# The emulator tests run xterm and kitty on a virtual X display (about 2 s; they skip without).
packages+=(xvfb xterm kitty)
# A clang build (CXX=clang++-14) needs the compiler too.
[[ ${CXX:-} == clang* ]] && packages+=(clang-14)
ensure_packages "${packages[@]}"

# The builds of one checkout (ordinary, clang, sanitizers) and of other checkouts share one
# compiler cache; paths are taken relative to the checkout so that a fresh clone hits it too.
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$root} CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-1}
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER_LAUNCHER=ccache \
  "$@" >/dev/null
cmake --build "$build" -j"$(nproc)"
