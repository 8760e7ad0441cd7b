#!/usr/bin/env bash
# The Windows build. First Qt 6 for 64-bit Windows, cross-built with
# mingw-w64 from Debian's own qt6-base source, of the very version the Linux
# program is built against; it is built once into a cache outside the
# checkout and reused after. Then Vantor.exe, from the same sources as the
# Linux program, staged with what it needs in build/windows/Vantor/ and packed
# as build/windows/Vantor-<version>-win64.zip.
#
#   scripts/windows.sh               install what is missing, build the Qt
#                                    cache unless a complete one exists, then
#                                    the program, its folder and the zip
#   scripts/windows.sh --no-qt-build the same, but with no complete cache it
#                                    says so and stops (for CI: a Qt build
#                                    takes up to an hour)
#   scripts/windows.sh --qt-cache    print the complete cache's folder; exit 1
#                                    when there is none (installs nothing)
#
# The cache: ${VANTOR_QT_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/vantor}/
#   qt6-mingw-<version>-<hash of the build options>. A cache is complete when
# its stamp is there, written last; one without it is removed and built again.
# VANTOR_QT_SOURCE_DIR: a folder already holding qt6-base's .dsc and files, used
# instead of fetching them. VANTOR_QT_APT_SOURCES: an apt sources list to fetch
# from instead of the system's Debian archives (as deb-src).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

toolchain_file=$root/cmake/mingw-w64-x86_64.cmake

# What the build makes. Everything here goes into the cache's name.
qt_features=(
  -DCMAKE_BUILD_TYPE=Release
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF
  -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_printsupport=OFF
  -DFEATURE_concurrent=OFF -DFEATURE_testlib=OFF -DFEATURE_xml=OFF -DFEATURE_tabletevent=OFF
  -DFEATURE_jpeg=OFF -DFEATURE_vulkan=OFF -DFEATURE_pkg_config=OFF -DFEATURE_direct2d1_1=OFF
  # The Windows platform plugin does not link without it.
  -DFEATURE_direct2d=ON
  -DINPUT_opengl=desktop -DFEATURE_opengl_dynamic=OFF
  -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_harfbuzz=OFF
  -DFEATURE_system_png=OFF -DFEATURE_freetype=ON -DFEATURE_system_freetype=OFF
)
qt_targets=(
  Core Gui Widgets OpenGL OpenGLWidgets
  QWindowsIntegrationPlugin QWindowsVistaStylePlugin EntryPointImplementation
)
# Debian's security fixes; its other patches only concern Linux packaging.
qt_patch_pattern='cve-2023-*'

stamp_name=.vantor-complete

step() { echo "== $*"; }
fail() { echo "windows.sh: $1 failed: $2" >&2; exit 1; }

qt_version() {
  dpkg-query -W -f='${source:Version}' libqt6core6 2>/dev/null ||
    fail "finding the host Qt" "libqt6core6 is not installed (scripts/setup-deps.sh run installs it)"
}

options_hash() {
  {
    printf '%s\n' "${qt_features[@]}" "${qt_targets[@]}" "$qt_patch_pattern"
    cat "$toolchain_file"
  } | sha256sum | cut -c1-12
}

cache_root=${VANTOR_QT_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/vantor}
# Set by locate_cache, once the host Qt is installed.
version='' prefix='' work=''

locate_cache() {
  version=$(qt_version)
  prefix=$cache_root/qt6-mingw-$version-$(options_hash)
  work=$prefix.work
}

cache_complete() { [ -f "$prefix/$stamp_name" ]; }

# --- fetching and checking the source --------------------------------------

# A sources list of deb-src lines for the archives the system installs from.
system_deb_src() {
  apt-get indextargets --format '$(REPO_URI) $(RELEASE) $(COMPONENT)' 'Target-Of: deb' |
    sort -u | while read -r uri release component; do
      echo "deb-src $uri $release $component"
    done
}

# apt-get with a configuration of its own: its sources, lists and cache live
# in $work/apt; the system's lists and /etc/apt stay untouched.
private_apt() {
  local apt=$work/apt
  local opts=(
    -o Dir::Etc::SourceList="$apt/sources.list" -o Dir::Etc::SourceParts="$apt/sources.list.d"
    -o Dir::State::Lists="$apt/lists" -o Dir::Cache="$apt/cache"
  )
  # Root's downloads would otherwise run as _apt, which cannot write here.
  if [ "$(id -u)" -eq 0 ]; then opts+=(-o APT::Sandbox::User=root); fi
  "$1" "${opts[@]}" "${@:2}"
}

fetch_source() {
  local dest=$1 apt=$work/apt
  mkdir -p "$apt/sources.list.d" "$apt/lists/partial" "$apt/cache/archives/partial"
  if [ -n "${VANTOR_QT_APT_SOURCES:-}" ]; then
    cp "$VANTOR_QT_APT_SOURCES" "$apt/sources.list"
  else
    system_deb_src >"$apt/sources.list"
  fi
  step "Fetching qt6-base $version's source (sources: $apt/sources.list)"
  local update_log=$work/apt-update.log
  # One unreachable archive need not matter; whether the source was found
  # does. apt-get update reports an unreachable one as a warning.
  local found
  private_apt apt-get update >"$update_log" 2>&1 || true
  found=$(private_apt apt-cache showsrc --only-source qt6-base 2>/dev/null || true)
  if ! grep -qx "Version: $version" <<<"$found"; then
    if grep -q '^Err:\|^E:' "$update_log"; then
      grep '^W:\|^E:' "$update_log" >&2
      fail "fetching the source lists" "apt-get update failed (above; sources: $apt/sources.list)"
    fi
    fail "finding the source" "qt6-base $version is in none of the sources in $apt/sources.list"
  fi
  (cd "$dest" && private_apt apt-get source --download-only -q "qt6-base=$version") ||
    fail "fetching the source" "apt-get source qt6-base=$version did not complete"
}

dsc_of() { echo "$1/qt6-base_${version#*:}.dsc"; }

# The .dsc's "sha256 size name" lines, one per file of the source.
dsc_files() { sed -n '/^Checksums-Sha256:/,/^[^ ]/{/^ /p}' "$1"; }

# Every file the .dsc names must be there with the SHA-256 it gives.
check_source() {
  local dir=$1 dsc name sums out
  dsc=$(dsc_of "$1")
  [ -f "$dsc" ] || fail "finding the source" "no $dsc"
  grep -qx "Version: $version" "$dsc" || fail "checking the source" "$dsc is not of version $version"
  sums=$(dsc_files "$dsc" | awk '{print $1 "  " $3}')
  [ -n "$sums" ] || fail "checking the source" "$dsc lists no SHA-256 checksums"
  while read -r _ name; do
    [ -f "$dir/$name" ] || fail "finding the source" "$dir has no $name, which $(basename "$dsc") names"
  done <<<"$sums"
  out=$(cd "$dir" && sha256sum --strict -c <<<"$sums" 2>&1) ||
    fail "checking the source" "checksum mismatch against $dsc:"$'\n'"$(grep -v ': OK$' <<<"$out")"
  step "Source checked against $(basename "$dsc")"
}

unpack_source() {
  local dir=$1 src=$2 names orig debian
  names=$(dsc_files "$(dsc_of "$dir")" | awk '{print $3}')
  orig=$(grep '\.orig\.tar\.' <<<"$names" || true)
  debian=$(grep '\.debian\.tar\.' <<<"$names" || true)
  if [ -z "$orig" ] || [ -z "$debian" ]; then
    fail "unpacking the source" "the .dsc names no .orig or no .debian tarball"
  fi
  orig=$dir/$orig debian=$dir/$debian
  mkdir -p "$src"
  tar -xf "$orig" -C "$src" --strip-components=1 || fail "unpacking the source" "$orig"
  tar -xf "$debian" -C "$src" || fail "unpacking the source" "$debian"
  local patch applied=0
  while read -r patch _; do
    # shellcheck disable=SC2053  # the pattern is meant to match
    [[ ${patch,,} == $qt_patch_pattern ]] || continue
    patch -d "$src" -p1 --batch --forward --quiet <"$src/debian/patches/$patch" ||
      fail "applying Debian's patches" "$patch does not apply"
    echo "   applied $patch"
    applied=$((applied + 1))
  done < <(grep -v '^#' "$src/debian/patches/series")
  ((applied)) || fail "applying Debian's patches" "no $qt_patch_pattern patch in debian/patches/series"
}

# --- the build --------------------------------------------------------------

build_failed() {
  local what=$1 log=$2
  echo "windows.sh: the Qt build failed at: $what. Last error lines:" >&2
  { grep -E 'error|Error|FAILED' "$log" || tail -n 20 "$log"; } | tail -n 20 >&2
  echo "Full log: $log" >&2
  exit 1
}

# Low priority: the build takes the machine's cores for up to an hour.
niced() { nice -n 19 "$@"; }

build_qt() {
  local src=$1 build=$work/build log=$work/build.log
  # The install records the toolchain file's path, so it lives in the cache.
  local toolchain
  toolchain=$prefix/share/vantor/$(basename "$toolchain_file")
  mkdir -p "$(dirname "$toolchain")"
  cp "$toolchain_file" "$toolchain"
  step "Configuring qtbase (log: $log)"
  niced cmake -S "$src" -B "$build" -G Ninja "${qt_features[@]}" \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    >"$log" 2>&1 || build_failed "configure" "$log"
  step "Building ${qt_targets[*]}"
  niced cmake --build "$build" -j"$(nproc)" --target "${qt_targets[@]}" >>"$log" 2>&1 ||
    build_failed "build of the modules" "$log"
  # The rest of qtbase's default build: small plugins the install expects.
  niced cmake --build "$build" -j"$(nproc)" >>"$log" 2>&1 || build_failed "build of the rest" "$log"
  step "Installing into $prefix"
  niced cmake --install "$build" --strip >>"$log" 2>&1 || build_failed "install" "$log"
}

make_qt_cache() {
  mkdir -p "$cache_root"
  # One build per cache at a time; a second run waits for the first.
  exec 9>"$prefix.lock"
  flock -n 9 || { echo "Waiting for another build of $prefix"; flock 9; }
  cache_complete && return
  if [ -e "$prefix" ]; then
    echo "$prefix has no stamp: an unfinished build; building it again"
  fi
  rm -rf -- "$prefix" "$work"
  mkdir -p "$work/download"
  local dl=${VANTOR_QT_SOURCE_DIR:-$work/download}
  [ -n "${VANTOR_QT_SOURCE_DIR:-}" ] || fetch_source "$dl"
  check_source "$dl"
  unpack_source "$dl" "$work/src"
  local start=$SECONDS
  build_qt "$work/src"
  # The second line of `times`: the CPU time of the processes this script ran.
  times >"$work/times"
  echo "Qt built in $(((SECONDS - start) / 60)) min; CPU time (user, system): $(tail -n1 "$work/times")"
  printf 'qt6-base %s for x86_64-w64-mingw32, built %s\n' "$version" "$(date -u +%FT%TZ)" \
    >"$prefix/$stamp_name.tmp"
  mv "$prefix/$stamp_name.tmp" "$prefix/$stamp_name"
  rm -rf -- "$work"
  echo "Qt cache complete: $prefix ($(du -sh "$prefix" | cut -f1))"
}

# --- the program --------------------------------------------------------------

out=$root/build/windows

build_program() {
  step "Building Vantor.exe against $prefix"
  # A later build after a small change then takes seconds, not minutes.
  local launcher
  launcher=$(command -v ccache || true)
  cmake -S "$root" -B "$out/cmake" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$prefix/lib/cmake/Qt6/qt.toolchain.cmake" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DCMAKE_CXX_COMPILER_LAUNCHER="$launcher" -DCMAKE_C_COMPILER_LAUNCHER="$launcher" >/dev/null
  cmake --build "$out/cmake" -j"$(nproc)" --target vantor
}

# A mingw runtime DLL that the program and the Qt DLLs share.
mingw_dll() {
  local dll
  dll=$(x86_64-w64-mingw32-g++-posix -print-file-name="$1")
  [ -f "$dll" ] || fail "staging" "no $1 in the mingw-w64 installation"
  echo "$dll"
}

# The program's version, as CMakeLists.txt gives it.
program_version() { sed -n 's/^project(Vantor VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt"; }

stage_program() {
  local folder=$out/Vantor version
  version=$(program_version)
  step "Staging $folder"
  rm -rf -- "$folder"
  mkdir -p "$folder/platforms" "$folder/styles"
  cp "$out/cmake/app/Vantor.exe" "$folder/"
  x86_64-w64-mingw32-strip "$folder/Vantor.exe"
  cp "$prefix"/bin/Qt6{Core,Gui,Widgets,OpenGL,OpenGLWidgets}.dll "$folder/"
  cp "$prefix/plugins/platforms/qwindows.dll" "$folder/platforms/"
  cp "$prefix/plugins/styles/qwindowsvistastyle.dll" "$folder/styles/"
  local dll
  for dll in libgcc_s_seh-1.dll libstdc++-6.dll libwinpthread-1.dll; do
    cp "$(mingw_dll "$dll")" "$folder/"
    x86_64-w64-mingw32-strip "$folder/$dll"
  done
  local zip=$out/Vantor-$version-win64.zip
  rm -f -- "$zip"
  (cd "$out" && zip -qr9 "$zip" Vantor) || fail "packing" "zip $zip"
  echo "Vantor for Windows: $folder ($(du -sh "$folder" | cut -f1)), $zip ($(du -h "$zip" | cut -f1))"
}

case ${1:-} in
  --qt-cache)
    locate_cache
    cache_complete || exit 1
    echo "$prefix"
    exit 0
    ;;
  --no-qt-build | "") ;;
  *) echo "usage: $0 [--no-qt-build | --qt-cache]" >&2; exit 2 ;;
esac

scripts/setup-deps.sh windows
locate_cache
if cache_complete; then
  echo "Qt for Windows: $prefix"
elif [ "${1:-}" = --no-qt-build ]; then
  echo "Qt for Windows: no complete cache at $prefix; not built here (scripts/windows.sh builds it)"
  exit 0
else
  step "Building Qt for Windows into $prefix (about an hour on two busy cores)"
  make_qt_cache
fi
build_program
stage_program

# --- the installer -------------------------------------------------------------

# Vantor-<version>-setup.exe from the staged folder (packaging/windows/vantor.nsi).
make_installer() {
  local version setup
  version=$(program_version)
  setup=$out/Vantor-$version-setup.exe
  step "Making $setup"
  makensis -V2 -DVERSION="$version" -DSTAGE="$out/Vantor" -DOUTFILE="$setup" \
    "$root/packaging/windows/vantor.nsi" || fail "making the installer" "makensis"
  echo "Installer: $setup ($(du -h "$setup" | cut -f1))"
}
make_installer
