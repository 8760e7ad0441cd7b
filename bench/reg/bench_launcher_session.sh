#!/usr/bin/env bash
# bench_launcher_session.sh VANTOR-REG
#
# What a game launcher writes before it starts a game: 20 DLL overrides (five
# of them for one application), the ten values of a Windows version (the
# 32-bit view's too) and three Direct3D settings, 33 values in all. Written
# in the same run three ways into copies of one fresh prefix, each timed
# until Wine's server has ended and saved the files:
#   one `vantor-reg import -` from a pipe,
#   the same REGEDIT4 text through a cold `wine regedit /S`,
#   33 `wine reg add` calls.
# Afterwards the values of the five keys must read the same in all three
# prefixes. Then
# `vantor-reg --json query HKCU\Software\Wine /s` beside the text form.
set -euo pipefail
tool=$(realpath "$1")
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=d"
unset DISPLAY WAYLAND_DISPLAY VANTOR_REGISTRY
WINE64=${WINE64:-/usr/lib/wine/wine64}
runs=${RUNS:-5}

top=$(mktemp -d /tmp/vantor-launcher-bench.XXXXXX)
export XDG_STATE_HOME=$top/state
stop() { WINEPREFIX=$1 wineserver -k 2>/dev/null || true; WINEPREFIX=$1 wineserver -w 2>/dev/null || true; }
cleanup() {
    for p in "$top"/*/; do [ -f "$p/system.reg" ] && stop "$p"; [ -s "$p/wineserver" ] && rm -rf -- "/tmp/$(cat "$p/wineserver")"; done
    rm -rf -- "$top"
}
trap cleanup EXIT
WINEPREFIX=$top/fresh wineboot -i >/dev/null 2>&1
stop "$top/fresh"

overrides=(d3d9 d3d10 d3d10_1 d3d10core d3d11 d3d12 dxgi d3dcompiler_47 xinput1_3 xinput9_1_0 xaudio2_7 x3daudio1_7 msvcp140 vcruntime140 dinput8)
game=(d3d9 dxgi xinput1_3 dsound winmm)
{
    printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Wine\\DllOverrides]\n'
    for d in "${overrides[@]}"; do printf '"%s"="native,builtin"\n' "$d"; done
    printf '\n[HKEY_CURRENT_USER\\Software\\Wine\\AppDefaults\\game.exe\\DllOverrides]\n'
    for d in "${game[@]}"; do printf '"%s"="native"\n' "$d"; done
    for view in '' 'Wow6432Node\\'; do
        printf '\n[HKEY_LOCAL_MACHINE\\Software\\%sMicrosoft\\Windows NT\\CurrentVersion]\n' "$view"
        printf '"CurrentVersion"="6.3"\n"CurrentBuild"="19045"\n"ProductName"="Windows 10 Pro"\n'
        if [ -z "$view" ]; then
            printf '"CurrentBuildNumber"="19045"\n"CSDVersion"=""\n"CurrentMajorVersionNumber"=dword:0000000a\n'
            printf '"CurrentMinorVersionNumber"=dword:00000000\n'
        fi
    done
    printf '\n[HKEY_CURRENT_USER\\Software\\Wine\\Direct3D]\n"renderer"="vulkan"\n"csmt"=dword:00000001\n"VideoMemorySize"="4096"\n'
} >"$top/session.reg"
[ "$(grep -c '=' "$top/session.reg")" = 33 ] || { echo "the session is not 33 values" >&2; exit 1; }

# The 33 values as `reg add` arguments, read back from the session file.
adds() {
    local key line name data
    while IFS= read -r line; do
        case $line in
        \[*\]) key=${line:1:-1} ;;
        \"*) name=${line%%\"=*}; name=${name#\"}; data=${line#*=}
             case $data in
             dword:*) printf '%s\t%s\t%s\t%s\n' "$key" "$name" REG_DWORD "0x${data#dword:}" ;;
             *) data=${data#\"}; printf '%s\t%s\t%s\t%s\n' "$key" "$name" REG_SZ "${data%\"}" ;;
             esac ;;
        esac
    done <"$top/session.reg"
}

fresh() { rm -rf "$top/$1"; cp -a "$top/fresh" "$top/$1"; }
now() { echo "${EPOCHREALTIME/./}"; }
median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
ours=() regedit=() regadd=()
for ((i = 0; i < runs; i++)); do
    fresh ours; fresh regedit; fresh regadd
    t=$(now); cat "$top/session.reg" | "$tool" --prefix "$top/ours" import - >/dev/null; ours+=($(($(now) - t)))
    t=$(now); WINEPREFIX=$top/regedit "$WINE64" regedit /S "$top/session.reg" </dev/null >/dev/null 2>&1
    WINEPREFIX=$top/regedit wineserver -w; regedit+=($(($(now) - t)))
    t=$(now)
    while IFS=$'\t' read -r key name type data; do
        WINEPREFIX=$top/regadd "$WINE64" reg add "$key" /v "$name" /t "$type" /d "$data" /f </dev/null >/dev/null 2>&1
    done < <(adds)
    WINEPREFIX=$top/regadd wineserver -w; regadd+=($(($(now) - t)))
done
a=$(median "${ours[@]}") b=$(median "${regedit[@]}") c=$(median "${regadd[@]}")
printf 'launcher session, 33 values (median of %d, ms):\n' "$runs"
awk -v a="$a" -v b="$b" -v c="$c" 'BEGIN {
    printf "  vantor-reg import -        %9.2f\n", a / 1000
    printf "  wine regedit /S (cold)     %9.2f   %6.0fx ours\n", b / 1000, b / a
    printf "  33 wine reg add            %9.2f   %6.0fx ours\n", c / 1000, c / a }'

same=yes
for key in 'HKCU\Software\Wine\DllOverrides' 'HKCU\Software\Wine\AppDefaults\game.exe\DllOverrides' \
    'HKLM\Software\Microsoft\Windows NT\CurrentVersion' 'HKLM\Software\Wow6432Node\Microsoft\Windows NT\CurrentVersion' \
    'HKCU\Software\Wine\Direct3D'; do
    # Values only: Wine's start remakes subkeys of its own (NetworkCards).
    values() { "$tool" --prefix "$top/$1" query "$key" | grep '^    '; }
    mine=$(values ours)
    for other in regedit regadd; do
        theirs=$(values "$other")
        [ "$theirs" = "$mine" ] || { same=no; echo "  $key differs in $other:" >&2; diff <(echo "$mine") <(echo "$theirs") >&2 || true; }
    done
done
echo "  the keys are the same afterwards: $same"

json=() text=()
for ((i = 0; i < runs * 4; i++)); do
    t=$(now); "$tool" --prefix "$top/ours" query 'HKCU\Software\Wine' /s >/dev/null; text+=($(($(now) - t)))
    t=$(now); "$tool" --prefix "$top/ours" --json query 'HKCU\Software\Wine' /s >/dev/null; json+=($(($(now) - t)))
done
awk -v n=$((runs * 4)) -v t="$(median "${text[@]}")" -v j="$(median "${json[@]}")" 'BEGIN {
    printf "query HKCU\\Software\\Wine /s (median of %d, ms): text %.2f, --json %.2f (%.2fx)\n", n, t / 1000, j / 1000, j / t }'
