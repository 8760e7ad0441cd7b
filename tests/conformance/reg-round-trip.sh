#!/usr/bin/env bash
# reg-round-trip.sh VANTOR-REG STATE-FILE SHARED-PREFIX
#
# .reg files both ways, byte for byte, on keys of the shared prefix and one of
# Cyrillic, CJK and emoji names and data of every type: our export, imported
# and exported again by Wine's reg, is our export; that export of Wine's,
# imported by vantor-reg into an empty prefix and exported again, is Wine's.
# Wine works below HKCU\Software\VantorRoundTrip of the throw-away prefix.
set -euo pipefail
trap 'echo "reg-round-trip.sh: line $LINENO failed: $BASH_COMMAND" >&2' ERR
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"

tool=$1
prefix=$(wine_prefix_from "$2")
shared=$3

work=$(mktemp -d /tmp/vantor-reg-round-trip.XXXXXX)
cleanup() {
    wine_reg delete 'HKCU\Software\VantorRoundTrip' /f >/dev/null 2>&1 || true
    WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
    rm -rf -- "$work"
}
trap cleanup EXIT
wine_reg() { env WINEPREFIX="$prefix" LC_ALL=C.UTF-8 timeout 60 "$WINE64" reg "$@" </dev/null; }
ours_reg() { local at=$1; shift; env -u VANTOR_REGISTRY -u WINEPREFIX "$tool" --prefix "$at" "$@" </dev/null; }

# Key names in a UTF-16 .reg file moved below HKCU\Software\VantorRoundTrip
# ("in") or back ("out"); everything else stays as it is.
move_keys() {
    local way=$1 from=$2 to=$3 script
    if [ "$way" = in ]; then
        script='s/^\[(-?)HKEY_/[$1HKEY_CURRENT_USER\\Software\\VantorRoundTrip\\HKEY_/'
    else
        script='s/^\[(-?)HKEY_CURRENT_USER\\Software\\VantorRoundTrip\\/[$1/'
    fi
    { printf '\xff\xfe'; tail -c +3 "$from" | iconv -f UTF-16LE -t UTF-8 | perl -pe "$script" |
        iconv -f UTF-8 -t UTF-16LE; } >"$to"
}

source_prefix=$work/source
mkdir -p "$source_prefix"
cp "$shared"/*.reg "$source_prefix/"
chmod u+w "$source_prefix"/*.reg
seed='HKCU\Software\Vantor Ünicode Ключ 中文 😀'
ours_reg "$source_prefix" add "$seed" /ve /d 'по умолчанию' /f >/dev/null
ours_reg "$source_prefix" add "$seed" /v 'Имя' /d 'Значение ґ і ї' /f >/dev/null
ours_reg "$source_prefix" add "$seed" /v '名前' /t REG_EXPAND_SZ /d '%PATH%;漢字' /f >/dev/null
ours_reg "$source_prefix" add "$seed" /v 'emoji 🎉' /t REG_MULTI_SZ /d '😀\0Ω\0末' /f >/dev/null
ours_reg "$source_prefix" add "$seed" /v 'двоичные' /t REG_BINARY /d 000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f2021 /f >/dev/null
ours_reg "$source_prefix" add "$seed" /v 'число' /t REG_DWORD /d 0x1234 /f >/dev/null
ours_reg "$source_prefix" add "$seed" /v 'большое' /t REG_QWORD /d 0x1122334455667788 /f >/dev/null
ours_reg "$source_prefix" add "$seed" /v 'ничего' /t REG_NONE /d 'текст' /f >/dev/null
ours_reg "$source_prefix" add "$seed" /v 'big-endian' /t REG_DWORD_BIG_ENDIAN /d 7 /f >/dev/null
ours_reg "$source_prefix" add "$seed\\Вложенный\\更深" /v 'кавычки "и" \обратная' /d 'строка "с" \знаками' /f >/dev/null

keys=(
    "$seed"
    'HKCU\Control Panel'
    'HKCU\Software\Wine'
    'HKLM\Software\Microsoft\Windows NT\CurrentVersion'
    'HKLM\System\CurrentControlSet\Control\Session Manager'
    'HKLM\Software\Microsoft\Windows\CurrentVersion\Fonts'
)

WINEPREFIX=$prefix wineserver -p
status=0
for i in "${!keys[@]}"; do
    key=${keys[$i]}
    long=$(sed -e 's/^HKCU/HKEY_CURRENT_USER/' -e 's/^HKLM/HKEY_LOCAL_MACHINE/' <<<"$key")
    ours_reg "$source_prefix" export "$key" "$work/ours-$i.reg" /y

    move_keys in "$work/ours-$i.reg" "$work/to-wine-$i.reg"
    wine_reg delete 'HKCU\Software\VantorRoundTrip' /f >/dev/null 2>&1 || true
    wine_reg import "$work/to-wine-$i.reg" >/dev/null
    wine_reg export "HKCU\\Software\\VantorRoundTrip\\$long" "$work/from-wine-$i.reg" /y >/dev/null
    move_keys out "$work/from-wine-$i.reg" "$work/wine-$i.reg"
    if cmp -s "$work/ours-$i.reg" "$work/wine-$i.reg"; then
        echo "ours -> Wine: same bytes: $key"
    else
        echo "DIFFERS: ours -> Wine: $key"
        diff <(iconv -f UTF-16 -t UTF-8 "$work/ours-$i.reg") <(iconv -f UTF-16 -t UTF-8 "$work/wine-$i.reg") | head -20
        status=1
    fi

    empty=$work/empty-$i
    mkdir -p "$empty"
    for hive in system user; do printf 'WINE REGISTRY Version 2\n' >"$empty/$hive.reg"; done
    (cd "$work" && ours_reg "$empty" import "wine-$i.reg") || status=1
    ours_reg "$empty" export "$key" "$work/back-$i.reg" /y
    if cmp -s "$work/wine-$i.reg" "$work/back-$i.reg"; then
        echo "Wine -> ours: same bytes: $key"
    else
        echo "DIFFERS: Wine -> ours: $key"
        diff <(iconv -f UTF-16 -t UTF-8 "$work/wine-$i.reg") <(iconv -f UTF-16 -t UTF-8 "$work/back-$i.reg") | head -20
        status=1
    fi
done
exit $status
