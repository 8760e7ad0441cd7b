#!/usr/bin/env bash
# time-against-wine.sh VANTOR-REG [PREFIX]
#
# Times the same query with tools/vantor-reg and with a cold `wine reg query`
# (no Wine server running, so Wine starts one and loads the prefix, as on a
# first call). Prints the median of each and their ratio. Without PREFIX it
# makes a throw-away prefix first, and removes it afterwards.
set -euo pipefail
tool=$(realpath "$1")
prefix=${2:-}

export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=d"
unset DISPLAY WAYLAND_DISPLAY
WINE64=${WINE64:-/usr/lib/wine/wine64}

made=""
if [ -z "$prefix" ]; then
    made=$(mktemp -d /tmp/vantor-time.XXXXXX)
    prefix=$made/prefix
    WINEPREFIX=$prefix wineboot -i >/dev/null 2>&1
    WINEPREFIX=$prefix wineserver -k || true
    WINEPREFIX=$prefix wineserver -w || true
fi
cleanup() {
    if [ -n "$made" ]; then
        WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
        [ -s "$prefix/wineserver" ] && rm -rf -- "/tmp/$(cat "$prefix/wineserver")"
        rm -rf -- "$made"
    fi
}
trap cleanup EXIT

now() { date +%s%N; }

# median MICROSECONDS...
median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

time_query() {
    local key=$1 wineRuns=5 ourRuns=21 i start
    local -a wine=() ours=()
    for ((i = 0; i < wineRuns; i++)); do
        WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
        WINEPREFIX=$prefix wineserver -w 2>/dev/null || true
        start=$(now)
        WINEPREFIX=$prefix "$WINE64" reg query "$key" >/dev/null 2>&1
        wine+=($((($(now) - start) / 1000)))
    done
    WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
    WINEPREFIX=$prefix wineserver -w 2>/dev/null || true
    for ((i = 0; i < ourRuns; i++)); do
        start=$(now)
        "$tool" --prefix "$prefix" query "$key" >/dev/null
        ours+=($((($(now) - start) / 1000)))
    done
    local w o
    w=$(median "${wine[@]}")
    o=$(median "${ours[@]}")
    printf '%-60s cold wine reg query %7.1f ms   vantor-reg %6.1f ms   ratio %5.1f\n' \
        "$key" "$(echo "$w" | awk '{ print $1 / 1000 }')" "$(echo "$o" | awk '{ print $1 / 1000 }')" \
        "$(awk -v w="$w" -v o="$o" 'BEGIN { print w / o }')"
}

time_query 'HKCU\Software\Wine'
time_query 'HKLM\Software\Microsoft\Windows NT\CurrentVersion'
