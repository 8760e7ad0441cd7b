#!/usr/bin/env bash
# vantor-reg-search.sh VANTOR-REG
#
# The search switches of `query` (/f /k /d /c /e /t /se), the answers to
# questions, what an export does to what stands at its file name, and what
# import refuses, on a small tree: each case gives the switches and the lines
# the output (and standard error) must hold, in order, and the exit status.
set -euo pipefail
tool=$1
prefix=$(mktemp -d /tmp/vantor-reg-search.XXXXXX)
trap 'rm -rf -- "$prefix"' EXIT
for hive in system user; do printf 'WINE REGISTRY Version 2\n' >"$prefix/$hive.reg"; done
reg() { env -u VANTOR_REGISTRY -u WINEPREFIX timeout 20 "$tool" --prefix "$prefix" "$@"; }
reg add 'HKCU\S\Apple' /v Color /d Red /f >/dev/null
reg add 'HKCU\S\Apple\Seed' /v Count /t REG_DWORD /d 5 /f >/dev/null
reg add 'HKCU\S\Pear' /v list /t REG_MULTI_SZ /d 'red\0green' /f >/dev/null
reg add 'HKCU\S\Plum' /v 'a{b' /f >/dev/null
printf 'REGEDIT4\n\n[-HKEY_LOCAL_MACHINE]\n[-hkcu\\]\n[-HKU\\.Default]\n[HKEY_CURRENT_USER\\S\\Late]\n' >"$prefix/roots.reg"
mkfifo "$prefix/fifo.reg" && truncate -s 5G "$prefix/huge.reg" # a file that holds no blocks
# A key whose name is not well-formed UTF-16: a lone surrogate.
utf16() { printf "$1" | iconv -f ascii -t utf-16le; }
{ printf '\xff\xfe'; utf16 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\L\\k'; printf '\x00\xd8'; utf16 ']\r\n"v"="1"\r\n'; } >"$prefix/lone.reg"

# answer | arguments | status | expected lines, separated by "|"
cases=(
    "|query HKCU\\S /f red /s|0|    Color    REG_SZ    Red|    list    REG_MULTI_SZ    red\\0green|End of search: 2 match(es) found."
    "|query HKCU\\S /f Red /s /c|0|    Color    REG_SZ    Red|End of search: 1 match(es) found."
    "|query HKCU\\S /f apple /k /s|0|HKEY_CURRENT_USER\\S\\Apple|End of search: 1 match(es) found."
    "|query HKCU\\S /f re /d /e /s|0|End of search: 0 match(es) found."
    "|query HKCU\\S /f color /d /s|0|End of search: 0 match(es) found."
    "|query HKCU\\S /f A{B /e /s|0|    a{b    REG_SZ    |End of search: 1 match(es) found."
    "|query HKCU\\S /f a[b /e /s|0|End of search: 0 match(es) found."
    "|query HKCU\\S /t REG_DWORD,REG_BINARY /s|0|    Count    REG_DWORD    0x5|End of search: 1 match(es) found."
    "|query HKCU\\S\\Pear /f green /se ,|0|    list    REG_MULTI_SZ    red,green|End of search: 1 match(es) found."
    "|query HKCU\\S /k|1|reg: Invalid syntax. Type \"REG QUERY /?\" for help."
    "|query HKCU\\S /f x /se ab|1|reg: Invalid syntax. Type \"REG QUERY /?\" for help."
    "|query HKCU\\S /t REG_FOO|1|reg: Invalid syntax. Type \"REG QUERY /?\" for help."
    "n|delete HKCU\\S\\Pear|0|reg: The registry operation was cancelled"
    "|delete HKCU\\S\\Pear|1|reg: The registry operation was cancelled"
    "x\\ny|delete HKCU\\S\\Pear /va|0|reg: The operation completed successfully"
    "a|copy HKCU\\S\\Apple HKCU\\S\\Apple2 /s|0"
    "n\\nn|copy HKCU\\S\\Apple HKCU\\S\\Apple2 /s|0"
    "y|copy HKCU\\S\\Apple HKCU\\S\\Apple2 /s|1|reg: The registry operation was cancelled"
    "|delete HKCU /f|1|reg: Invalid system key"
    "|export HKCU\\S $prefix /y|1|Path not found."
    "|delete HKU\\.Default\\ /f|1|reg: Invalid system key"
    "|import $prefix/lone.reg|0"
    "|copy HKCU\\L HKCU\\L2 /s /f|0"
    "|query HKCU\\L2 /s|0|    v    REG_SZ    1"
    "|import $prefix/roots.reg|1|vantor-reg: a root key is never deleted: HKEY_LOCAL_MACHINE|vantor-reg: a root key is never deleted: hkcu\\|vantor-reg: a root key is never deleted: HKU\\.Default"
    "|import $prefix|1|vantor-reg: $prefix: not a regular file"
    "|import $prefix/fifo.reg|1|vantor-reg: $prefix/fifo.reg: not a regular file"
    "|import $prefix/huge.reg|1|vantor-reg: $prefix/huge.reg: too large"
    "|import /proc/self/mem|1|vantor-reg: /proc/self/mem: Input/output error"
)
status=0
for entry in "${cases[@]}"; do
    IFS='|' read -r -a fields <<<"$entry"
    read -r -a words <<<"${fields[1]}"
    set +e
    out=$(printf "${fields[0]}${fields[0]:+\\n}" | reg "${words[@]}" 2>&1)
    got=$?
    set -e
    rest=$out
    for line in "${fields[@]:3}"; do
        case $rest in
        *"$line"*) rest=${rest#*"$line"} ;;
        *) echo "FAIL: ${fields[1]}: no line '$line' in order in:"; echo "$out"; status=1 ;;
        esac
    done
    [ "$got" = "${fields[2]}" ] || { echo "FAIL: ${fields[1]}: exit $got, not ${fields[2]}"; status=1; }
done

# An export to a FIFO replaces nothing, so it asks nothing: its reader gets the file.
reg export 'HKCU\S' "$prefix/plain.reg" /y >/dev/null
mkfifo "$prefix/fifo"
timeout 10 cat "$prefix/fifo" >"$prefix/from-fifo" &
reader=$!
reg export 'HKCU\S' "$prefix/fifo" </dev/null >/dev/null || { echo "FAIL: export to a FIFO: exit $?"; status=1; }
wait "$reader" || true
cmp -s "$prefix/plain.reg" "$prefix/from-fifo" || { echo "FAIL: export to a FIFO: its reader got another text"; status=1; }

# Every operation that prints fails when its output cannot be written.
for op in "query HKCU\\S /s" "add HKCU\\S\\Full /f" "delete HKCU\\S\\Full /f" \
    "export HKCU\\S /dev/stdout /y" "/?"; do
    read -r -a words <<<"$op"
    got=0
    reg "${words[@]}" >/dev/full 2>/dev/null || got=$?
    [ "$got" = 1 ] || { echo "FAIL: $op >/dev/full: exit $got"; status=1; }
done

# Nothing holds the old copies of the files those commands replaced once
# each has ended.
held() { find /proc/[0-9]*/fd -lname "$prefix/*.reg (deleted)" 2>/dev/null | wc -l; }
for _ in $(seq 50); do [ "$(held)" = 0 ] && break; sleep 0.1; done
[ "$(held)" = 0 ] || { echo "FAIL: $(held) replaced hive files still held"; status=1; }
exit $status
