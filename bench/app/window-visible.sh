#!/usr/bin/env bash
# window-visible.sh PROGRAM [ARG ...]: starts the program on $DISPLAY, prints
# the milliseconds until its main window is visible, then ends it. Beside
# the Linux program, for Vantor.exe under Wine:
#   window-visible.sh /usr/lib/wine/wine64 build/windows/Vantor/Vantor.exe
set -euo pipefail
start=$(date +%s%N)
"$@" >/dev/null 2>&1 &
program=$!
until xdotool search --onlyvisible --name '^Vantor  1\.5' >/dev/null 2>&1; do
  kill -0 "$program" 2>/dev/null || { echo "window-visible.sh: $1 ended before its window showed" >&2; exit 1; }
  sleep 0.02
done
echo "window visible after $((($(date +%s%N) - start) / 1000000)) ms"
kill "$program"
wait "$program" 2>/dev/null || true
