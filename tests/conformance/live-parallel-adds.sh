#!/usr/bin/env bash
# live-parallel-adds.sh VANTOR-REG STATE-FILE
#
# Twenty vantor-reg add commands at once against a prefix whose Wine server
# runs (each goes through the bridge into Wine): all twenty values land, as
# Wine's own reg query reads them.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"
tool=$1
prefix=$(wine_prefix_from "$2")
export XDG_STATE_HOME=$(mktemp -d /tmp/vantor-live-parallel.XXXXXX)
trap 'wine_stop "$prefix"; rm -rf -- "$XDG_STATE_HOME"' EXIT

WINEPREFIX=$prefix wineserver -p
for i in $(seq 20); do
    env -u VANTOR_REGISTRY timeout 60 "$tool" --prefix "$prefix" add 'HKCU\Software\VantorParallel' /v "v$i" /d "$i" /f >/dev/null &
done
failed=0
for job in $(jobs -p); do wait "$job" || failed=$((failed + 1)); done
landed=$(env WINEPREFIX="$prefix" "$WINE64" reg query 'HKCU\Software\VantorParallel' </dev/null 2>/dev/null | grep -c REG_SZ || true)
env WINEPREFIX="$prefix" "$WINE64" reg delete 'HKCU\Software\VantorParallel' /f </dev/null >/dev/null 2>&1 || true
[ "$failed" = 0 ] && [ "$landed" = 20 ] || { echo "FAIL: $failed of 20 adds failed, $landed values landed"; exit 1; }
