#!/usr/bin/env bash
# Kills vantor-reg with SIGKILL at random moments while it rewrites a
# hard-linked hive in place (a value that grows and shrinks by turns), and
# while it exports to a hard-linked file. After each kill the next command
# finishes what was cut short; the file must then hold the old text or the
# new one (the hive compared without its key times), and after the next save
# or export no temporary file or journal may stay, nor may a user's own
# look-alike file go. Slow: not run by ctest.
#
# Usage: kill_loop.sh VANTOR_REG [HIVE_KILLS] [EXPORT_KILLS]
set -uo pipefail
reg=$(realpath "$1")
hive_kills=${2:-300}
export_kills=${3:-100}
here=$(cd "$(dirname "$0")" && pwd)
data=$here/../../tests/winreg/data/wine-prefix

work=$(mktemp -d /tmp/vantor-kill-loop.XXXXXX)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
mkdir "$prefix"
cp "$data"/system.reg "$data"/user.reg "$data"/userdef.reg "$prefix"/
chmod u+w "$prefix"/*.reg
ln "$prefix/system.reg" "$work/system.reg second link"
echo mine >"$prefix/system.reg.vantor-backup-mine"
echo mine >"$work/out.reg.vantor-backup-mine"
key='HKLM\Software\KillLoop'
small=small
large=$(head -c 300000 /dev/zero | tr '\0' L)

run() { "$reg" --prefix "$prefix" "$@" >/dev/null 2>&1; }
# The hive's text without the times that every save sets anew.
shape() { sed -E -e 's/^(\[.*\]) [0-9]+$/\1/' -e '/^#time=/d' "$1" | md5sum | cut -d' ' -f1; }
leftovers() { # temporaries and journals of $2 in folder $1
  find "$1" -maxdepth 1 \( -regex ".*/$2\.vantor-[0-9a-f]\{16\}" -o -name "$2.vantor-journal" \) | wc -l
}
now_ms() { date +%s%3N; }
# Starts the command, kills it after a random part of the time a whole run takes.
kill_midway() {
  local span=$1; shift
  "$reg" --prefix "$prefix" "$@" >/dev/null 2>&1 &
  local pid=$!
  sleep "$(awk -v s="$span" -v r="$RANDOM" 'BEGIN { printf "%.4f", s * r / 32767 / 1000 }')"
  kill -KILL "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
}

torn=0 left=0 gone=0 killed_midway=0
for value in "$small" "$large"; do
  run add "$key" /v v /d "$value" /f
  shapes+=("$(shape "$prefix/system.reg")")
done
start=$(now_ms); run add "$key" /v v /d "$small" /f; span=$(($(now_ms) - start + 5))
for ((i = 0; i < hive_kills; i++)); do
  value=$([ $((i % 2)) = 0 ] && echo "$large" || echo "$small")
  kill_midway "$span" add "$key" /v v /d "$value" /f
  [ -e "$prefix/system.reg.vantor-journal" ] && killed_midway=$((killed_midway + 1))
  run query "$key" /v v # loads: undoes a rewrite cut short
  s=$(shape "$prefix/system.reg")
  [ "$s" = "${shapes[0]}" ] || [ "$s" = "${shapes[1]}" ] || torn=$((torn + 1))
  run add "$key" /v v /d "$small" /f
  left=$((left + $(leftovers "$prefix" system.reg)))
  [ -e "$prefix/system.reg.vantor-backup-mine" ] || gone=$((gone + 1))
done
echo "hard-linked hive: $hive_kills kills ($killed_midway within the rewrite), torn $torn, leftovers $left, look-alikes lost $gone"

out=$work/out.reg
: >"$out"
ln "$out" "$work/out.reg second link"
run export 'HKLM\Software\Microsoft' "$out" /y; big=$(md5sum <"$out")
run export "$key" "$out" /y; little=$(md5sum <"$out")
start=$(now_ms); run export 'HKLM\Software\Microsoft' "$out" /y; span=$(($(now_ms) - start + 5))
torn=0 left=0 gone=0 killed_midway=0
for ((i = 0; i < export_kills; i++)); do
  what=$([ $((i % 2)) = 0 ] && echo 'HKLM\Software\Microsoft' || echo "$key")
  kill_midway "$span" export "$what" "$out" /y
  [ -e "$out.vantor-journal" ] && killed_midway=$((killed_midway + 1))
  (cd "$work" && run query "$key" /v v) # starts in the folder: undoes an export cut short
  s=$(md5sum <"$out")
  [ "$s" = "$big" ] || [ "$s" = "$little" ] || torn=$((torn + 1))
  run export "$key" "$out" /y
  left=$((left + $(leftovers "$work" out.reg)))
  [ -e "$work/out.reg.vantor-backup-mine" ] || gone=$((gone + 1))
done
echo "export to a hard-linked file: $export_kills kills ($killed_midway within the rewrite), torn $torn, leftovers $left, look-alikes lost $gone"
