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
. "$here/line-pairs.sh"

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

compare_line_pairs "$work/wine.txt" "$work/ours.txt" "$expected" || status=1
if [ -n "${VANTOR_CONFORMANCE_KEEP:-}" ]; then
    cp "$work/wine.txt" "$work/ours.txt" "$VANTOR_CONFORMANCE_KEEP/"
fi
exit $status
