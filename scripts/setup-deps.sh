#!/usr/bin/env bash
# Installs, with apt-get, the Debian packages one purpose needs, and does
# nothing when all of them are present:
#   setup-deps.sh run     building and running the program (mingw-w64 builds
#                         the engine's bridge into a running Wine)
#   setup-deps.sh test    that, and the test tools, Wine and mingw-w64: also
#                         all that the default configuration builds
#   setup-deps.sh bench   that of run, and a display for the benchmarks
#   setup-deps.sh windows that of run, and what scripts/windows.sh needs to
#                         cross-build Qt from Debian's source, and Wine
set -euo pipefail

run=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libqt6opengl6-dev libglu1-mesa-dev libgl1-mesa-dri fonts-liberation2 fontconfig
  g++-mingw-w64-x86-64-posix
)
display=(xvfb xauth)

case ${1:-} in
  run) packages=("${run[@]}") ;;
  test) packages=("${run[@]}" "${display[@]}" libgtest-dev libgmock-dev xdotool libxcb1-dev
                  wine wine64 g++-mingw-w64-x86-64 gcc-mingw-w64-x86-64) ;;
  bench) packages=("${run[@]}" "${display[@]}") ;;
  windows) packages=("${run[@]}" qt6-base-dev-tools gcc-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-posix zip
                     dpkg-dev xz-utils patch util-linux wine wine64 nsis) ;;
  *) echo "usage: $0 run|test|bench|windows" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then sudo=sudo; else sudo=; fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
