#!/usr/bin/env bash
# Builds the benchmarks optimised, without sanitizers, and runs them all.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup-deps.sh bench

build=${VANTOR_BENCH_BUILD:-build/bench}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVANTOR_BUILD_TESTS=OFF -DVANTOR_BUILD_BENCH=ON
cmake --build "$build" -j"$(nproc)"
for b in "$build"/bench/*/bench_*; do
  [ -f "$b" ] && [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  case "$b" in
    *gui*) xvfb-run -a -s "-screen 0 1280x1024x24" "$b" ;;
    *) "$b" ;;
  esac
done
