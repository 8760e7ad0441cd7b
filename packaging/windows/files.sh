#!/usr/bin/env bash
# Writes, for vantor.nsi, the staged folder's contents as two NSIS macros:
# InstallFiles puts every file in place, RemoveFiles deletes exactly those
# files and then their folders, deepest first, so the uninstaller removes
# nothing it did not install. Also defines SIZE_KB, the folder's size.
#   files.sh <staged folder>
set -euo pipefail
stage=$1
[ -d "$stage" ] || { echo "files.sh: no staged folder $stage" >&2; exit 1; }
cd "$stage"
win() { local p=${1#.}; p=${p#/}; echo "\$INSTDIR${p:+\\${p//\//\\}}"; }

echo "!define SIZE_KB $(du -sk . | cut -f1)"
echo '!macro InstallFiles'
find . -type d | sort | while read -r dir; do
  echo "  SetOutPath \"$(win "$dir")\""
  find "$dir" -mindepth 1 -maxdepth 1 -type f | sort | while read -r file; do
    echo "  File \"$stage/${file#./}\""
  done
done
echo '!macroend'
echo '!macro RemoveFiles'
find . -type f | sort | while read -r file; do echo "  Delete \"$(win "$file")\""; done
find . -mindepth 1 -type d | sort -r | while read -r dir; do echo "  RMDir \"$(win "$dir")\""; done
echo '!macroend'
