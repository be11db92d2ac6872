#!/usr/bin/env bash
# Builds the benchmark suite in Release and runs it: prints the machine it ran on and one
# Markdown table of medians over the repetitions (Google Benchmark's own report goes to
# <build-dir>/bench.log). Installs libbenchmark-dev and libncurses-dev when run as root.
# Usage: scripts/bench.sh [build-dir] [extra benchmark arguments, e.g. --benchmark_filter=commit]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$root/build-bench"}
shift || true

source "$root/scripts/lib/packages.sh"
ensure_packages g++ cmake make pkg-config libicu-dev libbenchmark-dev libncurses-dev ncurses-base

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DVENNIC_BUILD_BENCH=ON \
  -DVENNIC_BUILD_TESTS=OFF -DVENNIC_BUILD_EXAMPLES=OFF -DVENNIC_INSTALL=OFF >/dev/null
# Two jobs at most: the machines are small and often shared.
cmake --build "$build" -j2 --target vennic_bench >/dev/null

model=$(lscpu | sed -n 's/^Model name:[[:space:]]*//p' | head -n 1)
echo "Measured on: ${model:-unknown CPU}, $(nproc) cores, $(date -u +%Y-%m-%d)."
echo "Medians of 5 repetitions; CPU times are thread CPU time (user + system) of the timed thread."
echo
# Repetitions interleaved at random, so that a noisy spell does not hit one side of a ratio.
"$build/bench/vennic_bench" --benchmark_repetitions=5 --benchmark_min_time=0.2 \
  --benchmark_enable_random_interleaving=true "$@" 2>"$build/bench.log"
