#!/usr/bin/env bash
# vantor-reg-launchers.sh VANTOR-REG
#
# What launchers and scripts rely on. --json answers with each type in its
# natural form and the raw bytes beside text that would not give them back;
# --status tells the failures apart.
# Every kind of delete keeps a copy first, which brings back exactly what
# went; an import keeps one copy of all it deletes; the oldest copies go, but
# never a file of another naming; `copies` lists them. A name that is not
# well-formed UTF-16 is found and deleted as itself. Numbers are taken as
# Wine's reg takes them.
set -euo pipefail
tool=$1
prefix=$(mktemp -d /tmp/vantor-reg-launchers.XXXXXX)
trap 'rm -rf -- "$prefix"' EXIT
for hive in system user; do printf 'WINE REGISTRY Version 2\n' >"$prefix/$hive.reg"; done
export XDG_STATE_HOME=$prefix/state
copies=$XDG_STATE_HOME/vantor/deleted
reg() { env -u VANTOR_REGISTRY -u WINEPREFIX timeout 20 "$tool" --prefix "$prefix" "$@"; }
status=0
fail() { echo "FAIL: $*"; status=1; }

tree() {
    reg add 'HKCU\T\A' /v s /d 'text é' /f
    reg add 'HKCU\T\A' /v m /t REG_MULTI_SZ /d 'one\0two' /f
    reg add 'HKCU\T\A\B' /v q /t REG_QWORD /d 0x1122334455667788 /f
    reg add 'HKCU\T\A\B' /ve /t REG_BINARY /d 00ff10 /f
} >/dev/null
snapshot() { reg export 'HKCU\T' "$prefix/snap.reg" /y >/dev/null && cat "$prefix/snap.reg"; }
{ printf '\xff\xfe'; printf 'Windows Registry Editor Version 5.00\r\n\r\n[-HKEY_CURRENT_USER\\T\\A\\B]\r\n[HKEY_CURRENT_USER\\T\\A]\r\n"s"=-\r\n"m"=-\r\n' |
    iconv -f utf-8 -t utf-16le; } >"$prefix/batch.reg"

# Each way of deleting: the copy it leaves, imported, gives back the same tree.
for how in "delete HKCU\\T\\A /f" "delete HKCU\\T\\A\\B /va /f" "delete HKCU\\T\\A /v m /f" "import $prefix/batch.reg" "import -"; do
    rm -rf "$copies"
    tree
    before=$(snapshot | od -An -tx1)
    read -r -a words <<<"$how"
    cat "$prefix/batch.reg" | reg "${words[@]}" >/dev/null || fail "$how: exit $?"
    made=("$copies"/*.reg)
    [ ${#made[@]} = 1 ] || { fail "$how: ${#made[@]} copies"; continue; }
    case ${made[0]} in *" $(basename "$prefix") HKEY_CURRENT_USER_T_A"*) ;; *) fail "$how: named ${made[0]}" ;; esac
    [ "$(stat -c %a "${made[0]}")" = 600 ] || fail "$how: the copy is not private"
    [ "$(snapshot | od -An -tx1)" != "$before" ] || fail "$how: nothing was deleted"
    reg import "${made[0]}" >/dev/null || fail "$how: the copy does not import"
    [ "$(snapshot | od -An -tx1)" = "$before" ] || fail "$how: the copy does not bring back what went"
done

# --no-copy keeps none.
rm -rf "$copies"
tree
reg --no-copy delete 'HKCU\T' /f >/dev/null
[ ! -e "$copies" ] || fail "--no-copy kept a copy"

# The oldest go; what is not of our naming stays.
mkdir -p "$copies"
old="$copies/2020-01-01T00-00-00.000Z $(basename "$prefix") HKEY_CURRENT_USER_Old.reg"
touch "$old" "$copies/notes.reg" "$copies/2020-01-01 mine.reg" "$copies/2020-01-01T00-00-00.000Z.reg"
tree
reg delete 'HKCU\T' /f >/dev/null
[ ! -e "$old" ] || fail "a copy older than 30 days stayed"
for mine in notes.reg "2020-01-01 mine.reg" "2020-01-01T00-00-00.000Z.reg"; do
    [ -e "$copies/$mine" ] || fail "$mine, not a copy of ours, was removed"
done
listing=$(reg copies)
newest=$(ls "$copies" | grep " HKEY_CURRENT_USER_T" | sort | tail -1)
case $listing in
"$copies/$newest"$'\n'"    HKEY_CURRENT_USER\\T"*"vantor-reg --prefix '$prefix' import '$copies/$newest'"*) ;;
*) fail "copies lists: $listing" ;;
esac

# A lone surrogate in a name (WTF-8 bytes ED A0 80): added and deleted as itself.
lone=$'\xed\xa0\x80'
reg add 'HKCU\L' /v "$lone" /d x /f >/dev/null
reg delete 'HKCU\L' /v "$lone" /f >/dev/null || fail "the lone surrogate's value was not found"
[ "$(reg query 'HKCU\L' | grep -c REG_SZ)" = 0 ] || fail "deleting the lone surrogate's value left a value"
# Numbers, as Wine 8's reg add stores or refuses them: type, data, what
# query shows ("" for refused).
numbers=(
    "DWORD| 5|0x5" "DWORD|+5|0x5" "DWORD|-5|" "DWORD| -5|0xfffffffb" "DWORD|0x-1|" "DWORD|0x+5|" "DWORD|0x|"
    "DWORD|0X1f|0x1f" "DWORD|007|0x7" "DWORD|5 |" "DWORD|4294967295|0xffffffff" "DWORD|4294967296|"
    "DWORD| 0x5|" "DWORD|+0x5|" "DWORD|x5|" "DWORD|1e3|" "DWORD||0x0" "DWORD| -4294967296|0x1"
    "QWORD|-5|0xfffffffffffffffb" "QWORD|-0|0x0" "QWORD|0x-1|" "QWORD|18446744073709551615|0xffffffffffffffff"
    "QWORD|18446744073709551616|" "QWORD|0x100000000|0x100000000"
)
for row in "${numbers[@]}"; do
    IFS='|' read -r type data shown <<<"$row"
    reg delete 'HKCU\N' /f >/dev/null 2>&1 || true
    reg add 'HKCU\N' /v n /t "REG_$type" /d "$data" /f >/dev/null 2>&1 || true
    got=$(reg query 'HKCU\N' /v n 2>/dev/null | sed -n "s/^    n    REG_$type    //p" || true)
    [ "$got" = "$shown" ] || fail "REG_$type '$data': '$got', not '$shown'"
done
# --json: one row per type and edge (name, then what its answer holds). The
# file is version 5, so that hex data is stored as it is.
{
    printf '\xff\xfe'
    {
        printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\J]\r\n@="d"\r\n"sz"="a\\"b\\\\c"\r\n'
        printf '"noterm"=hex(1):41,00\r\n"inner"=hex(1):41,00,00,00,42,00,00,00\r\n"odd"=hex(1):41,00,00\r\n'
        printf '"lonedata"=hex(1):00,d8,00,00\r\n"multi"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n'
        printf '"multinoend"=hex(7):61,00,00,00\r\n"dw"=dword:0000002a\r\n"dw3"=hex(4):01,02,03\r\n'
        printf '"qsmall"=hex(b):05,00,00,00,00,00,00,00\r\n"q53"=hex(b):ff,ff,ff,ff,ff,ff,1f,00\r\n'
        printf '"q53p"=hex(b):00,00,00,00,00,00,20,00\r\n"none"=hex(0):61,00\r\n"bin"=hex:00,ff\r\n'
    } | iconv -f ascii -t utf-16le
} >"$prefix/types.reg"
reg import "$prefix/types.reg" >/dev/null
reg add 'HKCU\J' /v "$lone" /d x /f >/dev/null
answer=$(reg --json query 'HKCU\J')
rows=(
    '{"name": "", "type": "REG_SZ", "data": "d"}'
    '{"name": "sz", "type": "REG_SZ", "data": "a\"b\\c"}'
    '{"name": "noterm", "type": "REG_SZ", "data": "A", "hex": "4100"}'
    '{"name": "inner", "type": "REG_SZ", "data": "A\u0000B", "hex": "4100000042000000"}'
    '{"name": "odd", "type": "REG_SZ", "data": "A", "hex": "410000"}'
    '{"name": "lonedata", "type": "REG_SZ", "data": "FFFD", "hex": "00d80000"}'
    '{"name": "multi", "type": "REG_MULTI_SZ", "data": ["a", "b"]}'
    '{"name": "multinoend", "type": "REG_MULTI_SZ", "data": ["a"], "hex": "61000000"}'
    '{"name": "dw", "type": "REG_DWORD", "data": 42}'
    '{"name": "dw3", "type": "REG_DWORD", "data": "010203"}'
    '{"name": "qsmall", "type": "REG_QWORD", "data": 5}'
    '{"name": "q53", "type": "REG_QWORD", "data": 9007199254740991}'
    '{"name": "q53p", "type": "REG_QWORD", "data": "9007199254740992"}'
    '{"name": "none", "type": "REG_NONE", "data": "6100"}'
    '{"name": "bin", "type": "REG_BINARY", "data": "00ff"}'
    '{"name": "FFFD", "name_hex": "00d8", "type": "REG_SZ", "data": "x"}'
)
for row in "${rows[@]}"; do
    expected=${row//FFFD/$'\xef\xbf\xbd'}
    case $answer in *"$expected"*) ;; *) fail "--json lacks $expected" ;; esac
done

# The statuses of --status and --json, and the error's kind.
printf '[HKEY_CURRENT_USER\\J]\r\n' >"$prefix/headless.reg"
statuses=(
    "0|null|--json query HKCU\\J /v dw"
    "2|no-key|--json query HKCU\\Nope"
    "3|no-value|--json query HKCU\\J /v nope"
    "3|no-value|--json query HKCU\\J /f nothing-like-this"
    "4|bad-input|--json add HKCU\\J /v n /t REG_DWORD /d 0x-1"
    "4|bad-input|--json import $prefix/headless.reg"
    "4||--status add HKCU\\J /t REG_FOO"
    "1||add HKCU\\J /t REG_FOO"
    "5|unchangeable|--json delete HKCU\\J /v dw"
)
# Batches all or nothing: what is wrong is named by its line, and nothing changes.
batch() { printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\B]\n"a"="1"\n%b' "$1"; }
batches=(
    '0|"c"=hex:01,\\\n 02\n|'
    '4|"b"=bogus\n|line 5: not understood'
    '4|"c"=hex:01,\\\n|line 5: the input ends inside a continued value'
    '4|"c"="2"|line 5: the input ends in the middle of a line'
    '4|[-HKEY_CURRENT_USER]\n|a root key is never deleted'
)
for row in "${batches[@]}" "readonly"; do
    reg delete 'HKCU\B' /f >/dev/null 2>&1 || true
    if [ "$row" = readonly ]; then row='4|\n|user.reg: read-only'; fi
    IFS='|' read -r want body problem <<<"$row"
    set +e
    out=$(batch "$body" | VANTOR_REGISTRY_READONLY=$([ "$body" = '\n' ] && echo user.reg) reg import --all-or-nothing - 2>&1)
    got=$?
    set -e
    [ "$got" = "$want" ] || fail "all or nothing of '$body': status $got, not $want"
    case $out in *"$problem"*) ;; *) fail "all or nothing of '$body' does not name '$problem': $out" ;; esac
    reg query 'HKCU\B' /v a >/dev/null 2>&1 && changed=0 || changed=4
    [ "$changed" = "$want" ] || fail "all or nothing of '$body': the batch changed the registry: $changed"
done

# Twenty writers at once: every value lands.
for i in $(seq 20); do reg add 'HKCU\P' /v "v$i" /d "$i" /f >/dev/null & done
wait
[ "$(reg query 'HKCU\P' | grep -c REG_SZ)" = 20 ] || fail "of 20 parallel adds, $(reg query 'HKCU\P' | grep -c REG_SZ) landed"

for row in "${statuses[@]}"; do
    IFS='|' read -r want kind command <<<"$row"
    read -r -a words <<<"$command"
    readonly=$([ "$want" = 5 ] && echo user.reg || echo "")
    set +e
    out=$(VANTOR_REGISTRY_READONLY=$readonly reg "${words[@]}" 2>/dev/null)
    got=$?
    set -e
    [ "$got" = "$want" ] || fail "$command: status $got, not $want"
    case $kind:$out in :*|null:*'"error": null}'|*:*'"kind": "'"$kind"'"'*) ;; *) fail "$command: $out" ;; esac
done
exit $status
