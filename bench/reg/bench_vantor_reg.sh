#!/usr/bin/env bash
# bench_vantor_reg.sh VANTOR-REG [SHARED-PREFIX]
#
# vantor-reg beside Wine's reg, measured in the same run on a throw-away
# prefix that holds the shared prefix's registry files:
#   add to system.reg             against a cold `wine reg add`
#   one-key query on system.reg   against a cold `wine reg query`
#   query /s of HKCU              against a warm `wine reg query /s`
#   export of HKLM\Software and its import into an empty prefix, in MB/s
# Each figure is the median of several runs of the whole command.
set -euo pipefail
tool=$(realpath "$1")
shared=${2:-$(cd "$(dirname "$0")/../../tests/winreg/data/wine-prefix" && pwd)}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=d"
unset DISPLAY WAYLAND_DISPLAY VANTOR_REGISTRY
WINE64=${WINE64:-/usr/lib/wine/wine64}

top=$(mktemp -d /tmp/vantor-reg-bench.XXXXXX)
prefix=$top/prefix
cleanup() {
    WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
    [ -s "$prefix/wineserver" ] && rm -rf -- "/tmp/$(cat "$prefix/wineserver")"
    rm -rf -- "$top"
}
trap cleanup EXIT
WINEPREFIX=$prefix wineboot -i >/dev/null 2>&1
stop_wine() { WINEPREFIX=$prefix wineserver -k 2>/dev/null || true; WINEPREFIX=$prefix wineserver -w 2>/dev/null || true; }
stop_wine
cp "$shared"/*.reg "$prefix/"
chmod u+w "$prefix"/*.reg

median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
# time_runs RUNS BEFORE-EACH COMMAND...: the median wall time in microseconds,
# read from bash's own clock: a forked `date` would add its start-up to each.
time_runs() {
    local runs=$1 before=$2 i start
    shift 2
    local -a times=()
    for ((i = 0; i < runs; i++)); do
        $before
        start=${EPOCHREALTIME/./}
        "$@" >/dev/null 2>&1 </dev/null
        times+=($((${EPOCHREALTIME/./} - start)))
    done
    median "${times[@]}"
}
nothing() { :; }
wine_reg() { WINEPREFIX=$prefix "$WINE64" reg "$@"; }
ours_reg() { "$tool" --prefix "$prefix" "$@"; }
ratio() { awk -v w="$1" -v o="$2" 'BEGIN { printf "%.0f", w / o }'; }
mbps() { awk -v b="$1" -v us="$2" 'BEGIN { printf "%.0f", b / us }'; }

system_mb=$(awk -v b="$(stat -c %s "$prefix/system.reg")" 'BEGIN { printf "%.1f", b / 1048576 }')
echo "shared prefix: system.reg of $system_mb MB"
echo "floor: starting a program that does nothing (/bin/true) takes $(time_runs 21 nothing /bin/true) us here"

wine_us=$(time_runs 5 stop_wine wine_reg add 'HKLM\Software\VantorBench' /v n /d 1 /f)
stop_wine
ours_us=$(time_runs 21 nothing ours_reg add 'HKLM\Software\VantorBench' /v n /d 1 /f)
echo "add to system.reg:        ours $ours_us us, cold wine reg add $wine_us us: $(ratio "$wine_us" "$ours_us")x (target >= 50x)"

key='HKLM\Software\Microsoft\Windows NT\CurrentVersion'
wine_us=$(time_runs 5 stop_wine wine_reg query "$key" /v ProductName)
stop_wine
ours_us=$(time_runs 21 nothing ours_reg query "$key" /v ProductName)
echo "one-key query:            ours $ours_us us, cold wine reg query $wine_us us: $(ratio "$wine_us" "$ours_us")x (target >= 150x)"

WINEPREFIX=$prefix wineserver -p
wine_reg query 'HKCU' /s >/dev/null 2>&1
wine_us=$(time_runs 7 nothing wine_reg query 'HKCU' /s)
stop_wine
ours_us=$(time_runs 21 nothing ours_reg query 'HKCU' /s)
echo "query /s of HKCU:         ours $ours_us us, warm wine reg query /s $wine_us us: $(ratio "$wine_us" "$ours_us")x (target >= 10x)"

ours_us=$(time_runs 11 nothing ours_reg export 'HKLM\Software' "$top/software.reg" /y)
bytes=$(stat -c %s "$top/software.reg")
echo "export of HKLM\\Software:  $bytes bytes in $ours_us us: $(mbps "$bytes" "$ours_us") MB/s (target >= 100 MB/s)"

empty=$top/empty
fresh_empty() {
    rm -rf -- "$empty"
    mkdir -p "$empty"
    for hive in system user; do printf 'WINE REGISTRY Version 2\n' >"$empty/$hive.reg"; done
}
ours_us=$(time_runs 11 fresh_empty "$tool" --prefix "$empty" import "$top/software.reg")
echo "import into empty prefix: $bytes bytes in $ours_us us: $(mbps "$bytes" "$ours_us") MB/s (target >= 50 MB/s)"
