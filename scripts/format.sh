#!/usr/bin/env bash
# Formats every C++ file in place; with --check, fails if anything would change.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
mapfile -t files < <(git ls-files '*.cpp' '*.hpp')
if [[ ${1:-} == --check ]]; then
  clang-format --dry-run --Werror "${files[@]}"
else
  clang-format -i "${files[@]}"
fi
