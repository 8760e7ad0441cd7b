#!/usr/bin/env bash
# compare.sh NATIVE-SCENARIO WINDOWS-SCENARIO EXPECTED-DIFFERENCES STATE-FILE
#
# Runs the scenario against our engine and, under Wine, against the real API,
# both on the same registry: a copy of the fresh Wine prefix's files for ours,
# the prefix itself for Wine. Compares the two outputs line by line. A line that
# differs fails the comparison unless the pair of lines is listed in
# EXPECTED-DIFFERENCES.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"

native=$1
windows=$2
expected=$3
prefix=$(wine_prefix_from "$4")

work=$(mktemp -d /tmp/vantor-conformance.XXXXXX)
trap 'rm -rf -- "$work"' EXIT

wine_stop "$prefix"
mkdir "$work/registry"
cp "$prefix"/system.reg "$prefix"/user.reg "$prefix"/userdef.reg "$work/registry/"

status=0
if ! wine_run "$prefix" ru_RU.UTF-8 "$windows" >"$work/wine.crlf" 2>"$work/wine.err"; then
    echo "FAIL: the scenario crashed or failed under Wine:" >&2
    cat "$work/wine.err" >&2
    status=1
fi
# The Windows C library ends its lines with CR LF.
tr -d '\r' <"$work/wine.crlf" >"$work/wine.txt"
wine_stop "$prefix"
if ! env -u WINEPREFIX VANTOR_REGISTRY="$work/registry" "$native" >"$work/ours.txt" 2>"$work/ours.err"; then
    echo "FAIL: the scenario crashed or failed against our engine:" >&2
    cat "$work/ours.err" >&2
    status=1
fi

# Both runs must walk through the same steps.
cut -d' ' -f1 "$work/wine.txt" >"$work/wine.steps"
cut -d' ' -f1 "$work/ours.txt" >"$work/ours.steps"
if ! cmp -s "$work/wine.steps" "$work/ours.steps"; then
    echo "FAIL: the two runs took different steps (< Wine, > ours):"
    diff "$work/wine.steps" "$work/ours.steps" | head -40 || true
    status=1
fi

# The expected differences: a comment block gives the reason (its first line
# is shown), then pairs of "wine: <line>" and "ours: <line>".
declare -A allowed=()
declare -A seen=()
reason=""
pending=""
in_comment=""
while IFS= read -r entry || [ -n "$entry" ]; do
    case $entry in
    "#"*)
        [ -n "$in_comment" ] || reason=${entry#\#}
        reason=${reason# }
        in_comment=1
        continue
        ;;
    esac
    in_comment=""
    case $entry in
    "wine: "*) pending=${entry#wine: } ;;
    "ours: "*)
        allowed["$pending"$'\x1f'"${entry#ours: }"]=$reason
        pending=""
        ;;
    esac
done <"$expected"

compared=0
equal=0
known=0
failed=0
while IFS= read -r w <&3 && IFS= read -r o <&4; do
    compared=$((compared + 1))
    if [ "$w" == "$o" ]; then
        equal=$((equal + 1))
        continue
    fi
    key="$w"$'\x1f'"$o"
    if [ -n "${allowed[$key]+set}" ]; then
        known=$((known + 1))
        seen[$key]=1
        echo "expected: ${w%% *}: ${allowed[$key]}"
        continue
    fi
    failed=$((failed + 1))
    echo "DIFFERS:"
    echo "  wine: $w"
    echo "  ours: $o"
done 3<"$work/wine.txt" 4<"$work/ours.txt"

for key in "${!allowed[@]}"; do
    [ -n "${seen[$key]+set}" ] || echo "note: expected difference not seen: ${key%%$'\x1f'*}"
done

echo "compared $compared lines: $equal equal, $known expected differences, $failed unexpected"
[ "$compared" -gt 0 ] || status=1
[ "$failed" -eq 0 ] || status=1
if [ -n "${VANTOR_CONFORMANCE_KEEP:-}" ]; then
    cp "$work/wine.txt" "$work/ours.txt" "$VANTOR_CONFORMANCE_KEEP/"
fi
exit $status
