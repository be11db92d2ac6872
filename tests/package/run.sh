#!/usr/bin/env bash
# Installs a build of Vennic into a temporary prefix, then builds and runs the consumer in this
# folder against it twice: through find_package(Vennic) and through pkg-config.
# Usage: run.sh <vennic-build-dir> <path-of-built-libVennic> [sanitizers]
set -euo pipefail
build=$1
library=$2
# A sanitized library needs its runtime loaded first, so the consumers are sanitized alike.
flags=()
if [[ -n ${3:-} ]]; then
  flags=("-fsanitize=$3")
fi
here=$(cd "$(dirname "$0")" && pwd)

if [[ ! -f $library ]]; then
  echo "The library is not built yet ($library); build the project first." >&2
  exit 1
fi

# Runs a built consumer and insists on its "ok".
check() {
  local said
  said=$("$1" 2>&1) || true
  if [[ $said != ok ]]; then
    echo "$1 said: $said" >&2
    exit 1
  fi
}

work=$(mktemp -d "${TMPDIR:-/tmp}/vennic-package.XXXXXX")
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

echo "== install into $prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null

echo "== find_package(Vennic)"
cmake -S "$here" -B "$work/consumer" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_CXX_FLAGS="${flags[*]}" >"$work/configure.log" || { cat "$work/configure.log"; exit 1; }
found=$(sed -n 's/^Vennic_DIR:PATH=//p' "$work/consumer/CMakeCache.txt")
if [[ $found != "$prefix"/* ]]; then
  echo "find_package found Vennic outside the temporary prefix: $found" >&2
  exit 1
fi
cmake --build "$work/consumer" -j2 >"$work/build.log" || { cat "$work/build.log"; exit 1; }
check "$work/consumer/consumer"

echo "== pkg-config vennic"
pc=$(find "$prefix" -name vennic.pc)
export PKG_CONFIG_PATH=$(dirname "$pc")
libdir=$(pkg-config --variable=libdir vennic)
if [[ ! -f $libdir/libVennic.so ]]; then
  echo "pkg-config's libdir holds no libVennic.so: $libdir" >&2
  exit 1
fi
# shellcheck disable=SC2046  # the flags are meant to split
g++ -std=c++20 -Wall -Wextra -Wpedantic -Werror "${flags[@]}" "$here/main.cpp" -o "$work/consumer-pc" \
  $(pkg-config --cflags --libs vennic) -Wl,-rpath,"$libdir"
check "$work/consumer-pc"
echo "package test passed"
