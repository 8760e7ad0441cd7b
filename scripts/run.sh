#!/usr/bin/env bash
# Installs what is missing, builds the program and starts it on its default
# registry ($VANTOR_REGISTRY, else $WINEPREFIX, else ~/.local/share/vantor/registry).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup-deps.sh run

build=${VANTOR_BUILD:-build/release}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVANTOR_BUILD_TESTS=OFF -DVANTOR_BUILD_BENCH=OFF
cmake --build "$build" -j"$(nproc)" --target vantor vantor-reg
exec "$build/app/vantor" "$@"
