#!/usr/bin/env bash
# reg-scenario.sh VANTOR-REG SCENARIO EXPECTED-DIFFERENCES STATE-FILE
#
# Runs every line of SCENARIO through Wine's reg on the throw-away prefix and
# through vantor-reg on a copy of that prefix's registry files taken first,
# then exports the scenario's keys on both sides (each with its own export).
# Standard output, exit statuses and the exports are compared line by line;
# only the differences EXPECTED-DIFFERENCES lists may remain.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"
. "$here/line-pairs.sh"

tool=$1
scenario=$2
expected=$3
prefix=$(wine_prefix_from "$4")

work=$(mktemp -d /tmp/vantor-reg-scenario.XXXXXX)
ours_prefix=$work/ours-prefix
mkdir -p "$work/wine" "$work/ours" "$ours_prefix"
cleanup() {
    WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
    rm -rf -- "$work"
}
trap cleanup EXIT

# Wine's reg asks again forever at the end of input: a hung line fails.
wine_reg() { env WINEPREFIX="$prefix" LC_ALL=C.UTF-8 timeout 20 "$WINE64" reg "$@"; }
ours_reg() { env -u VANTOR_REGISTRY -u WINEPREFIX timeout 20 "$tool" --prefix "$ours_prefix" "$@"; }
forget_scenario_keys() {
    wine_reg delete 'HKCU\Software\VantorScenario' /f >/dev/null || true
    wine_reg delete 'HKLM\Software\VantorScenario' /f >/dev/null || true
}

WINEPREFIX=$prefix wineserver -p
forget_scenario_keys
wine_stop "$prefix"
cp "$prefix"/*.reg "$ours_prefix/"
WINEPREFIX=$prefix wineserver -p

# Both sides' output: "== LINE", the output without CRs, "exit N: LINE". Wine's reg
# shows characters beyond ASCII through a console code page as "?".
run_line() {
    local line=$1 answer="" words
    case $line in
    "<y> "* | "<n> "* | "<eof> "*) answer=${line%%>*}; answer=${answer#<}; line=${line#*> } ;;
    esac
    eval "words=($line)"
    printf '== %s\n' "$line" | tee -a "$work/wine.txt" >>"$work/ours.txt"

    local status
    if [ -z "$answer" ] || [ "$answer" = y ]; then
        local forced=()
        [ "$answer" = y ] && { [ "${words[0]}" = export ] && forced=(/y) || forced=(/f); }
        set +e
        # On a busy machine Wine sometimes fails to start reg.exe at all; then
        # nothing ran, and it is started once more.
        for _ in 1 2; do
            (cd "$work/wine" && wine_reg "${words[@]}" "${forced[@]}" </dev/null) | tr -d '\r' >"$work/wine-out"
            status=${PIPESTATUS[0]}
            grep -q '^ShellExecuteEx failed' "$work/wine-out" || break
        done
        cat "$work/wine-out" >>"$work/wine.txt"
        set -e
    else
        echo "reg: The registry operation was cancelled" >>"$work/wine.txt"
        [ "$answer" = n ] && status=0 || status=1
    fi
    echo "exit $status: $line" >>"$work/wine.txt"

    set +e
    case $answer in
    "") (cd "$work/ours" && ours_reg "${words[@]}" </dev/null) >"$work/out" ;;
    eof) (cd "$work/ours" && ours_reg "${words[@]}" </dev/null) >"$work/out" ;;
    *) (cd "$work/ours" && echo "$answer" | ours_reg "${words[@]}") >"$work/out" ;;
    esac
    status=$?
    set -e
    # The question itself has no counterpart on Wine's side.
    grep -v -E '\(Yes\|No(\|All)?\)$' "$work/out" | perl -CS -pe 's/[^\x{0}-\x{ffff}]/??/g; s/[^\x00-\x7f]/?/g' >>"$work/ours.txt" || true
    echo "exit $status: $line" >>"$work/ours.txt"
}

# A version 5 file is written as Wine's reg reads it, in UTF-16 with a byte
# order mark and CR LF, unless its name ends in .utf8.reg.
write_file() {
    local name=${1%% *} text=${1#* }
    [ "$name" = "$1" ] && text=""
    case $text,$name in
    *.utf8.reg | REGEDIT4* | ,*) printf '%b' "$text" >"$work/wine/$name" ;;
    Windows*)
        { printf '\xff\xfe'; printf '%b' "$text" | sed 's/$/\r/' | iconv -f UTF-8 -t UTF-16LE; } >"$work/wine/$name" ;;
    *) printf '%b' "$text" >"$work/wine/$name" ;;
    esac
    cp "$work/wine/$name" "$work/ours/$name"
}

start=$(date +%s%N)
: >"$work/wine.txt"
: >"$work/ours.txt"
count=0
while IFS= read -r line || [ -n "$line" ]; do
    case $line in
    "" | "#"*) continue ;;
    "file "*) write_file "${line#file }"; continue ;;
    "(no words)") line="" ;;
    esac
    run_line "$line"
    count=$((count + 1))
done <"$scenario"

# The registries both sides leave, each exported by its own reg.
for key in 'HKCU\Software\VantorScenario' 'HKLM\Software\VantorScenario'; do
    printf '== registry %s\n' "$key" | tee -a "$work/wine.txt" >>"$work/ours.txt"
    for side in wine ours; do
        rm -f "$work/$side/final.reg"
        (cd "$work/$side" && "${side}_reg" export "$key" final.reg /y >/dev/null) || true
        [ -f "$work/$side/final.reg" ] || { echo "(no export)" >>"$work/$side.txt"; continue; }
        iconv -f UTF-16 -t UTF-8 "$work/$side/final.reg" | tr -d '\r' >>"$work/$side.txt"
    done
done
# Leave the shared prefix as it was.
forget_scenario_keys

echo "$count command lines in $((($(date +%s%N) - start) / 1000000)) ms"
status=0
compare_line_pairs "$work/wine.txt" "$work/ours.txt" "$expected" || status=1
if [ -n "${VANTOR_CONFORMANCE_KEEP:-}" ]; then
    cp "$work/wine.txt" "$VANTOR_CONFORMANCE_KEEP/scenario-wine.txt"
    cp "$work/ours.txt" "$VANTOR_CONFORMANCE_KEEP/scenario-ours.txt"
fi
exit $status
