#!/usr/bin/env bash
# Formats every C++ file in place; with --check, fails if anything would change.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
source "$root/scripts/lib/packages.sh"
# clang-format 14 is the version the tree is formatted with; it may come without the plain name.
format=$(command -v clang-format-14 || command -v clang-format || true)
if [[ -z $format ]]; then
  ensure_packages clang-format-14
  format=clang-format-14
fi
mapfile -t files < <(git ls-files '*.cpp' '*.hpp')
if [[ ${1:-} == --check ]]; then
  "$format" --dry-run --Werror "${files[@]}"
else
  "$format" -i "${files[@]}"
fi
