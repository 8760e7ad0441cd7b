#!/usr/bin/env bash
# The installer under Wine, in a fresh scratch prefix: a silent install, the
# installed program's window, an upgrade by a newer build that no longer ships
# one file, and a silent uninstall that leaves the prefix as it was before,
# except for the user's own data, which stays. Needs a display (xvfb-run).
#   installer.sh <setup.exe> <staged folder>
set -euo pipefail
setup=$(realpath "$1") stage=$(realpath "$2")
version=${setup##*/Vantor-} && version=${version%-setup.exe}
nsi=$(realpath "$(dirname "$0")/../../packaging/windows/vantor.nsi")
scratch=$(mktemp -d /tmp/vantor-installer.XXXXXX)
export WINEPREFIX=$scratch/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
wine() { /usr/lib/wine/wine64 "$@"; }
trap 'wineserver -k 2>/dev/null || true; rm -rf -- "$scratch"' EXIT
fail() { echo "installer test FAILED: $*" >&2; exit 1; }
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Vantor'
users=$WINEPREFIX/drive_c/users/$(id -un)
dir=$users/AppData/Local/Programs/Vantor
shortcut="$users/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Vantor.lnk"
copy=$users/AppData/Local/Vantor/deleted/copy.reg

reg_value() { wine reg query "$uninstall_key" /v "$1" | tr -d '\r' | awk -v v="$1" '$1 == v { $1 = $2 = ""; sub(/^ +/, ""); print }'; }
# Every key and value name of the registry, and every file outside C:\windows,
# but for the user's data, which the program writes when it runs, the keys of
# the devices that Wine makes anew at each start, and the folder of the
# uninstaller's copy in Temp, which Wine's restart leaves (Windows' does not).
snapshot() {
  wineserver -w
  (cd "$WINEPREFIX" && awk '/^\[/ { sub(/\] [0-9]+$/, "]"); key = $0; print FILENAME, key }
                           /^"/ { sub(/"=.*/, "\""); print FILENAME, key, $0 }' system.reg user.reg
   find drive_c -path drive_c/windows -prune -o -print) |
    grep -v -e 'Software\\\\VTR' -e 'AppEvents\\\\Schemes\\\\Apps\\\\System' -e 'NetworkCards' -e 'Control\\\\Class' -e 'Temp/~nsu' | sort
}

wine wineboot -i >/dev/null 2>&1 || true
wine reg add 'HKCU\Software\VTR' /v x /d kept /f >/dev/null
mkdir -p "$(dirname "$copy")" && echo copy >"$copy"
snapshot >"$scratch/before"

start=$(date +%s.%N)
wine "$setup" /S || fail "silent install: exit status $?"
echo "Silent install under Wine: $(echo "$(date +%s.%N) - $start" | bc) s, installer $(du -h "$setup" | cut -f1)"
diff <(cd "$stage" && find . | sort) <(cd "$dir" && find . ! -name uninstall.exe | sort) ||
  fail "the installed files differ from the staged folder's"
[ -f "$shortcut" ] || fail "no Start-menu entry"
[ "$(reg_value DisplayVersion)" = "$version" ] || fail "DisplayVersion is '$(reg_value DisplayVersion)'"
[ "$(reg_value InstallLocation)" = "$(wine winepath -w "$dir")" ] || fail "InstallLocation is wrong"
for v in DisplayName EstimatedSize Publisher UninstallString QuietUninstallString DisplayIcon; do
  [ -n "$(reg_value $v)" ] || fail "the uninstall key has no $v"
done

wine "$dir/Vantor.exe" &
program=$!
timeout 60 xdotool search --sync --onlyvisible --name "^Vantor  $version" >/dev/null ||
  fail "the installed program showed no window in 60 s"
kill $program; wineserver -k; wineserver -w

# A newer build that no longer ships the style plugin.
mkdir "$scratch/stage2" && cp -r "$stage"/. "$scratch/stage2" && rm -r "$scratch/stage2/styles"
makensis -V1 -X'SetCompressor /FINAL zlib' -DVERSION=9.9 -DSTAGE="$scratch/stage2" \
  -DOUTFILE="$scratch/setup2.exe" "$nsi" || fail "building the second installer"
wine "$scratch/setup2.exe" /S || fail "silent upgrade: exit status $?"
[ "$(reg_value DisplayVersion)" = 9.9 ] || fail "the upgrade left DisplayVersion at '$(reg_value DisplayVersion)'"
[ -f "$dir/Vantor.exe" ] && [ ! -e "$dir/styles" ] || fail "the upgrade did not replace the old version's files"
wine reg query 'HKCU\Software\VTR' /v x >/dev/null || fail "the upgrade lost the user's key"

eval "wine $(reg_value QuietUninstallString | sed 's/\\/\\\\/g')" || fail "silent uninstall: exit status $?"
wine "$setup" /S /ALLUSERS '/D=C:\Tools\Vantor' || fail "/ALLUSERS install: exit status $?"
[ -f "$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Vantor.lnk" ] &&
  uninstall_key=${uninstall_key/HKCU/HKLM} && [ "$(reg_value InstallLocation)" = 'C:\Tools\Vantor' ] ||
  fail "/ALLUSERS did not install for all users into the /D= folder"
eval "wine $(reg_value QuietUninstallString | sed 's/\\/\\\\/g')" || fail "silent uninstall: exit status $?"
# The uninstaller runs from a copy in Temp, which a restart deletes.
wineserver -w && wine wineboot -r >/dev/null 2>&1
snapshot >"$scratch/after"
diff "$scratch/before" "$scratch/after" || fail "the uninstall left the prefix changed (above: < lost, > left)"
wine reg query 'HKCU\Software\VTR' /v x >/dev/null && [ -f "$copy" ] &&
  wine reg query 'HKCU\AppEvents\Schemes\Apps\System' /v configuration >/dev/null ||
  fail "the uninstall removed the user's data"
echo "installer test passed"
