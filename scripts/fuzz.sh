#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer (AddressSanitizer and UndefinedBehaviorSanitizer
# on) in build-fuzz/ and runs each target for the given time. Each run starts from the seeds in
# fuzz/corpus/<target>/, with the tokens of fuzz/<target>.dict where there is one, and keeps
# what it finds in build-fuzz/corpus/<target>/; crashing inputs land in build-fuzz/artifacts/.
# Exits non-zero if any target found a fault.
# Usage: scripts/fuzz.sh [seconds per target (600)] [target...]
#   PARALLEL=n runs n targets at once (1); NICE=n lowers their priority (10).
#   EMPTY=1 starts from an empty corpus (the seeds are not given, the dictionary still is):
#   what the target reaches on its own. Its finds go to build-fuzz/corpus-empty/<target>/, emptied
#   first.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-"$root/build-fuzz"}
seconds=${1:-600}
shift || true
parallel=${PARALLEL:-1}
niceness=${NICE:-10}
empty=${EMPTY:-0}

# Fuzzing is optional, so setup.sh does not install clang; this script does when it can.
source "$root/scripts/lib/packages.sh"
ensure_packages clang-14 libclang-rt-14-dev cmake make pkg-config libicu-dev libvterm-dev
# Coverage instrumentation everywhere (the library included), libFuzzer's main in the targets.
CXX=clang++-14 cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVENNIC_BUILD_FUZZERS=ON -DVENNIC_BUILD_TESTS=OFF -DVENNIC_BUILD_EXAMPLES=OFF \
  -DVENNIC_INSTALL=OFF -DVENNIC_SANITIZE=address,undefined \
  -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link >/dev/null
cmake --build "$build" -j"${JOBS:-$(nproc)}"

targets=("$@")
if ((${#targets[@]} == 0)); then
  for dir in "$root"/fuzz/corpus/*/; do
    targets+=("$(basename "$dir")")
  done
fi

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
mkdir -p "$build/artifacts" "$build/logs"
run_one() {
  local target=$1
  local corpus=("$build/corpus/$target" "$root/fuzz/corpus/$target")
  if ((empty)); then
    corpus=("$build/corpus-empty/$target")
    rm -rf "${corpus[0]}"
  fi
  mkdir -p "${corpus[0]}"
  # A target's dictionary of tokens, where it has one, steers the mutations.
  local dictionary=()
  [[ -f $root/fuzz/$target.dict ]] && dictionary=(-dict="$root/fuzz/$target.dict")
  nice -n "$niceness" "$build/fuzz/${target}_fuzzer" "${dictionary[@]}" \
    -max_total_time="$seconds" -timeout=10 \
    -rss_limit_mb=4096 -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-" \
    "${corpus[@]}" >"$build/logs/$target.log" 2>&1
}

failed=()
running=()
names=()
for target in "${targets[@]}"; do
  [[ -x $build/fuzz/${target}_fuzzer ]] || { echo "no fuzz target named $target" >&2; exit 2; }
  run_one "$target" &
  running+=($!)
  names+=("$target")
  if ((${#running[@]} >= parallel)); then
    wait "${running[0]}" || failed+=("${names[0]}")
    echo "fuzz.sh: ${names[0]} done ($(grep -c . "$build/logs/${names[0]}.log") log lines)"
    running=("${running[@]:1}")
    names=("${names[@]:1}")
  fi
done
for i in "${!running[@]}"; do
  wait "${running[$i]}" || failed+=("${names[$i]}")
  echo "fuzz.sh: ${names[$i]} done"
done

# Executions, then the coverage reached (libFuzzer's last status line).
for target in "${targets[@]}"; do
  grep -E "stat::number_of_executed_units|Done [0-9]+ runs" "$build/logs/$target.log" |
    sed "s/^/$target: /" | tail -1 || true
  grep -E " cov: [0-9]+" "$build/logs/$target.log" | sed "s/^/$target: /" | tail -1 || true
done
if ((${#failed[@]})); then
  echo "fuzz.sh: faults found by: ${failed[*]} (inputs in $build/artifacts, logs in $build/logs)" >&2
  exit 1
fi
echo "fuzz.sh: no faults found"
