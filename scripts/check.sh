#!/usr/bin/env bash
# Builds and runs the whole test suite under the sanitizers: AddressSanitizer with
# UndefinedBehaviorSanitizer in build-asan, ThreadSanitizer in build-tsan. Exits non-zero on any
# failure or sanitizer report.
# Usage: scripts/check.sh [asan|tsan]...   (both, in that order, when none is named)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=${JOBS:-$(nproc)}
kinds=("$@")
((${#kinds[@]})) || kinds=(asan tsan)

# Every report fails the test that produced it; leaks are reported by ASan at exit.
export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=0:detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}

for kind in "${kinds[@]}"; do
  case $kind in
    asan) sanitize=address,undefined ;;
    tsan) sanitize=thread ;;
    *) echo "unknown kind: $kind (asan or tsan)" >&2; exit 2 ;;
  esac
  build=$root/build-$kind
  start=$(date +%s)
  # setup.sh installs missing packages, configures and builds.
  "$root/scripts/setup.sh" "$build" -DVENNIC_SANITIZE="$sanitize"
  (cd "$build" && ctest --output-on-failure -j"$jobs" --timeout 300)
  echo "check.sh: $kind suite passed in $(($(date +%s) - start)) s"
done
