#!/usr/bin/env bash
# compare-vantor-reg.sh VANTOR-REG EXPECTED-DIFFERENCES STATE-FILE
#
# Puts a key with values of every type into the throw-away prefix with
# `wine reg import`, then asks the same questions of `wine reg query` and of
# tools/vantor-reg, and compares the answers line by line (line-pairs.sh):
# our key, and keys of the fresh prefix that Wine itself wrote.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"
. "$here/line-pairs.sh"

tool=$1
expected=$2
prefix=$(wine_prefix_from "$3")

work=$(mktemp -d /tmp/vantor-reg-compare.XXXXXX)
trap 'rm -rf -- "$work"' EXIT

# `reg import` reads UTF-16 with a byte order mark and CR LF line ends.
{
    printf '\xff\xfe'
    iconv -f UTF-8 -t UTF-16LE <<'REG' | sed 's/\x0a\x00/\x0d\x00\x0a\x00/g'
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\Software\VantorRegQuery]
@="default text"
"text"="hello world"
"empty"=""
"spaces in name"="  leading and trailing  "
"expand"=hex(2):25,00,50,00,41,00,54,00,48,00,25,00,3b,00,78,00,00,00
"multi"=hex(7):6f,00,6e,00,65,00,00,00,74,00,77,00,6f,00,00,00,00,00
"dword"=dword:0000abcd
"dword-be"=hex(5):12,34,56,78
"binary"=hex:01,02,fe,ff
"binary-empty"=hex:
"none"=hex(0):61,62
"Имя"="Значення ґ і ї"

[HKEY_CURRENT_USER\Software\VantorRegQuery\Empty]

[HKEY_CURRENT_USER\Software\VantorRegQuery\Sub]
"text"="in a subkey"

[HKEY_CURRENT_USER\Software\VantorRegQuery\Sub\Deeper]
"n"=dword:00000001

[HKEY_CURRENT_USER\Software\VantorRegQuery\Wide]
"qword"=hex(b):88,77,66,55,44,33,22,11
"odd"=hex(12345):ab

[HKEY_CLASSES_ROOT\VantorRegQueryClass]
@="a class"

[HKEY_CURRENT_CONFIG\Software\VantorRegQuery]
"where"="HKCC"
REG
} >"$work/seed.reg"

wine_stop "$prefix"
if ! env WINEPREFIX="$prefix" LC_ALL=C.UTF-8 "$WINE64" reg import "$work/seed.reg" >/dev/null 2>&1; then
    echo "FAIL: wine reg import failed" >&2
    exit 1
fi
wine_stop "$prefix"

# One question a line; the words go to both commands as they stand.
queries=(
    'HKCU\Software\VantorRegQuery'
    'HKCU\Software\VantorRegQuery /s'
    'HKCU\Software\VantorRegQuery /v text'
    'HKCU\Software\VantorRegQuery /v Имя'
    'HKCU\Software\VantorRegQuery /ve'
    'HKCU\Software\VantorRegQuery\Empty /ve'
    'HKCU\Software\VantorRegQuery /v text /s'
    'HKCU\Software\VantorRegQuery /ve /s'
    'hkey_current_user\software\vantorregquery\sub\'
    'HKCU\Software\VantorRegQuery\Wide'
    'HKCR\VantorRegQueryClass'
    'HKCC\Software\VantorRegQuery'
    'HKCC'
    'HKU'
    'HKCR\.txt'
    'HKCU\Control Panel /s'
    'HKCU\Control Panel\Desktop'
    'HKLM\Software\Microsoft\Windows NT\CurrentVersion'
    'HKLM\System\CurrentControlSet\Control\Session Manager\Environment'
    'HKCU\Software\VantorRegQuery\Missing'
    'HKCU\Software\VantorRegQuery /v missing'
    'HKXX\Software'
)

status=0
: >"$work/wine.txt"
: >"$work/ours.txt"
for query in "${queries[@]}"; do
    read -r -a words <<<"$query"
    set +e
    env WINEPREFIX="$prefix" LC_ALL=C.UTF-8 "$WINE64" reg query "${words[@]}" >"$work/w" 2>/dev/null
    wineStatus=$?
    env -u VANTOR_REGISTRY "$tool" --prefix "$prefix" query "${words[@]}" >"$work/o" 2>"$work/o.err"
    oursStatus=$?
    set -e
    if [ "$wineStatus" -ne "$oursStatus" ]; then
        echo "DIFFERS: exit status of 'reg query $query': Wine $wineStatus, ours $oursStatus"
        cat "$work/o.err"
        status=1
    fi
    echo "== $query" >>"$work/wine.txt"
    echo "== $query" >>"$work/ours.txt"
    # Failures are told in other words and places; their status was compared.
    [ "$wineStatus" -eq 0 ] || continue
    tr -d '\r' <"$work/w" >>"$work/wine.txt"
    # Wine's reg writes through the console's code page, which here shows
    # every character beyond ASCII as "?".
    perl -CS -pe 's/[^\x00-\x7f]/?/g' <"$work/o" >>"$work/ours.txt"
done
wine_stop "$prefix"

compare_line_pairs "$work/wine.txt" "$work/ours.txt" "$expected" || status=1
if [ -n "${VANTOR_CONFORMANCE_KEEP:-}" ]; then
    cp "$work/wine.txt" "$VANTOR_CONFORMANCE_KEEP/reg-wine.txt"
    cp "$work/ours.txt" "$VANTOR_CONFORMANCE_KEEP/reg-ours.txt"
fi
exit $status
