# Sourced by the scripts of this folder: how Wine is run here.
#
# Wine runs quietly, without a display (the tests run under Xvfb, and a window
# of Wine's would only slow it down), without the Mono and Gecko installers and
# without touching the desktop menus of the account. Its ANSI code page follows
# the locale: ru_RU gives 1251, which works without that locale installed.

WINE64=${WINE64:-/usr/lib/wine/wine64}
[ -x "$WINE64" ] || WINE64=$(command -v wine64 || command -v wine)

export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=d"
unset DISPLAY WAYLAND_DISPLAY WINEARCH

# The prefix that the set-up step made, from the state file it left.
wine_prefix_from() {
    local state=$1
    [ -s "$state" ] || { echo "no Wine prefix: $state is missing (did the set-up step run?)" >&2; return 1; }
    local prefix
    prefix=$(cat "$state")
    [ -f "$prefix/system.reg" ] || { echo "no Wine prefix at $prefix" >&2; return 1; }
    printf '%s\n' "$prefix"
}

# Ends the prefix's server; it saves the registry files as it goes.
wine_stop() {
    WINEPREFIX=$1 wineserver -k 2>/dev/null || true
    WINEPREFIX=$1 wineserver -w 2>/dev/null || true
}

# wine_run PREFIX CODEPAGE-LOCALE PROGRAM [ARGS...]
wine_run() {
    local prefix=$1 locale=$2
    shift 2
    env WINEPREFIX="$prefix" LC_ALL="$locale" "$WINE64" "$@"
}
