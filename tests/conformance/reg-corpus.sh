#!/usr/bin/env bash
# reg-corpus.sh VANTOR-REG CORPUS EXPECTED-DIFFERENCES STATE-FILE ROOTS
#
# Every file of CORPUS both ways with Wine's reg, comparing what is stored:
#  1. imported by Wine's reg into the throw-away prefix and by vantor-reg
#     into a copy of it: the stored bytes of both;
#  2. Wine's own export of what Wine stored, imported by vantor-reg into an
#     empty prefix: the same bytes again;
#  3. vantor-reg's export of what Wine stored, imported by Wine's reg after
#     the keys went: the same bytes again.
# A file of ROOTS deletes whole roots: each side imports it into a prefix of
# its own (Wine's server has crashed on such lines), and the keys of every
# hive are counted before and after.
# In 2 and 3 the "wine" side is what Wine stored in 1, the "ours" side what
# the round trip gave.
# Stored bytes are shown by vantor-reg's export, which writes every value so
# that it reads back exactly. Only the differences EXPECTED-DIFFERENCES lists
# may remain.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"
. "$here/line-pairs.sh"

tool=$(realpath "$1")
corpus=$2
expected=$3
prefix=$(wine_prefix_from "$4")
roots=$5
top='HKEY_CURRENT_USER\Software\VantorCorpus'

work=$(mktemp -d /tmp/vantor-reg-corpus.XXXXXX)
mkdir -p "$work/cases" "$work/ours" "$work/empty" "$work/wine-exports" "$work/our-exports" "$work/wine-stored" \
         "$work/roots-ours" "$work/roots-wine/dosdevices"
cleanup() {
    WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
    WINEPREFIX=$work/roots-wine wineserver -k 2>/dev/null || true
    rm -rf -- "$work"
}
trap cleanup EXIT

wine_reg() { local locale=$1; shift; env WINEPREFIX="$prefix" LC_ALL="$locale" timeout 20 "$WINE64" reg "$@" </dev/null; }
ours_reg() { local locale=$1 at=$2; shift 2; env -u VANTOR_REGISTRY -u WINEPREFIX LC_ALL="$locale" timeout 20 "$tool" --prefix "$at" "$@" </dev/null; }

# The text of a case as the bytes of its file.
write_case() {
    local format=$1 file=$2
    perl -e '
        my $format = shift; local $/; binmode STDOUT;
        my $t = <STDIN>; utf8::decode($t); $t =~ s/\n/\r\n/g;
        if ($format eq "regedit4") { $t =~ s/\{x([0-9a-f]{2})\}/chr(hex($1))/ge; print $t; exit }
        my @units;
        for my $part (split /(\{U\+[0-9A-F]{4}\})/, $t) {
            if ($part =~ /^\{U\+([0-9A-F]{4})\}$/) { push @units, hex($1); next }
            for my $o (map { ord } split //, $part) {
                if ($o > 0xFFFF) { $o -= 0x10000; push @units, 0xD800 + ($o >> 10), 0xDC00 + ($o & 0x3FF) }
                else { push @units, $o }
            }
        }
        print "\xFF\xFE", pack("v*", @units);' "$format" >"$file"
}

names=()
locales=()
name="" text=""
while IFS= read -r line || [ -n "$line" ]; do
    if [ -z "$name" ]; then
        case $line in
        "case "*) read -r _ name locale format <<<"$line"; text="" ;;
        esac
        continue
    fi
    if [ "$line" = . ]; then
        printf '%s' "$text" | write_case "$format" "$work/cases/$name.reg"
        names+=("$name")
        locales+=("$locale")
        name=""
        continue
    fi
    line=${line//\[@/[$top\\$name}
    line=${line//\[-@/[-$top\\$name}
    text+=$line$'\n'
done <"$corpus"

# What a prefix holds below the corpus key, as vantor-reg exports it.
stored() {
    local at=$1 key="$top\\$2" out=$work/stored.reg
    rm -f "$out"
    if ours_reg C.UTF-8 "$at" export "$key" "$out" /y >/dev/null 2>&1; then
        # UTF-16 to UTF-8, each unpaired surrogate as {U+XXXX}.
        perl -e '
            local $/; binmode STDOUT, ":utf8";
            my @u = unpack("v*", substr(<STDIN>, 2));
            for (my $i = 0; $i < @u; $i++) {
                my $c = $u[$i];
                if ($c >= 0xD800 && $c < 0xDC00 && $i + 1 < @u && $u[$i + 1] >= 0xDC00 && $u[$i + 1] < 0xE000) {
                    print chr(0x10000 + (($c - 0xD800) << 10) + ($u[++$i] - 0xDC00));
                } elsif ($c >= 0xD800 && $c < 0xE000) {
                    printf "{U+%04X}", $c;
                } elsif ($c != 13) {
                    print chr($c);
                }
            }' <"$out"
    else
        echo "(no key)"
    fi
}

WINEPREFIX=$prefix wineserver -p
wine_reg C.UTF-8 delete "$top" /f >/dev/null 2>&1 || true
wine_stop "$prefix"
cp "$prefix"/*.reg "$work/ours/"
for hive in system user; do printf 'WINE REGISTRY Version 2\n' >"$work/empty/$hive.reg"; done

: >"$work/wine.txt"
: >"$work/ours.txt"
WINEPREFIX=$prefix wineserver -p
for i in "${!names[@]}"; do
    printf '== import %s\n' "${names[$i]}" | tee -a "$work/wine.txt" >>"$work/ours.txt"
    set +e
    (cd "$work/cases" && wine_reg "${locales[$i]}" import "${names[$i]}.reg") | tr -d '\r' >>"$work/wine.txt"
    echo "exit ${PIPESTATUS[0]}" >>"$work/wine.txt"
    (cd "$work/cases" && ours_reg "${locales[$i]}" "$work/ours" import "${names[$i]}.reg") >>"$work/ours.txt" 2>/dev/null
    echo "exit $?" >>"$work/ours.txt"
    (cd "$work/wine-exports" && wine_reg C.UTF-8 export "$top\\${names[$i]}" "${names[$i]}.reg" /y >/dev/null)
    set -e
done
wine_stop "$prefix"

for i in "${!names[@]}"; do
    printf '== stored %s\n' "${names[$i]}" | tee -a "$work/wine.txt" >>"$work/ours.txt"
    stored "$prefix" "${names[$i]}" | tee "$work/wine-stored/${names[$i]}" >>"$work/wine.txt"
    stored "$work/ours" "${names[$i]}" >>"$work/ours.txt"
    ours_reg C.UTF-8 "$prefix" export "$top\\${names[$i]}" "$work/our-exports/${names[$i]}.reg" /y >/dev/null
done

# The exports of what Wine stored, each read by the other side.
for i in "${!names[@]}"; do
    (cd "$work/wine-exports" && ours_reg C.UTF-8 "$work/empty" import "${names[$i]}.reg") 2>/dev/null || true
done
WINEPREFIX=$prefix wineserver -p
wine_reg C.UTF-8 delete "$top" /f >/dev/null 2>&1 || true
for i in "${!names[@]}"; do
    (cd "$work/our-exports" && wine_reg C.UTF-8 import "${names[$i]}.reg" >/dev/null) || true
done
wine_stop "$prefix"
for i in "${!names[@]}"; do
    printf '== Wine'\''s export read by ours: %s\n' "${names[$i]}" | tee -a "$work/wine.txt" >>"$work/ours.txt"
    cat "$work/wine-stored/${names[$i]}" >>"$work/wine.txt"
    stored "$work/empty" "${names[$i]}" >>"$work/ours.txt"
    printf '== our export read by Wine: %s\n' "${names[$i]}" | tee -a "$work/wine.txt" >>"$work/ours.txt"
    cat "$work/wine-stored/${names[$i]}" >>"$work/wine.txt"
    stored "$prefix" "${names[$i]}" >>"$work/ours.txt"
done

# The roots, in prefixes of their own: the registry files of the shared one,
# with its drives.
cp "$prefix"/*.reg "$work/roots-ours/"
cp "$prefix"/*.reg "$prefix/.update-timestamp" "$work/roots-wine/"
ln -s "$prefix/drive_c" "$work/roots-wine/drive_c"
ln -s ../drive_c "$work/roots-wine/dosdevices/c:"
ln -s / "$work/roots-wine/dosdevices/z:"
key_counts() { for hive in system user userdef; do echo "$hive.reg: $(grep -c '^\[' "$1/$hive.reg") keys"; done; }
printf '%s' "$(cat "$roots")"$'\n' | write_case unicode "$work/roots.reg"
printf '== roots\n' | tee -a "$work/wine.txt" >>"$work/ours.txt"
key_counts "$work/roots-wine" | tee -a "$work/wine.txt" >>"$work/ours.txt"
set +e
(cd "$work" && env WINEPREFIX="$work/roots-wine" LC_ALL=C.UTF-8 timeout 20 "$WINE64" reg import roots.reg </dev/null) |
    tr -d '\r' >>"$work/wine.txt"
echo "exit ${PIPESTATUS[0]}" >>"$work/wine.txt"
(cd "$work" && ours_reg C.UTF-8 "$work/roots-ours" import roots.reg) >>"$work/ours.txt" 2>"$work/roots-stderr"
echo "exit $?" >>"$work/ours.txt"
set -e
wine_stop "$work/roots-wine"
key_counts "$work/roots-wine" >>"$work/wine.txt"
key_counts "$work/roots-ours" >>"$work/ours.txt"
grep -c 'a root key is never deleted' "$work/roots-stderr" >>"$work/ours.txt"
grep -c '^\[-' "$roots" >>"$work/wine.txt"

WINEPREFIX=$prefix wineserver -p
wine_reg C.UTF-8 delete "$top" /f >/dev/null 2>&1 || true
values=$(grep -c '^"' "$work/ours.txt" || true)
echo "${#names[@]} files, $values value lines compared"
compare_line_pairs "$work/wine.txt" "$work/ours.txt" "$expected"
