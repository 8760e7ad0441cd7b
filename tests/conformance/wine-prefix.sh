#!/usr/bin/env bash
# wine-prefix.sh create STATE-FILE   makes a throw-away Wine prefix under a
#                                    temporary folder and writes its path to
#                                    STATE-FILE
# wine-prefix.sh remove STATE-FILE   ends its server and removes it
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"

action=$1
state=$2

remove() {
    [ -s "$state" ] || return 0
    local prefix top serverdir
    prefix=$(cat "$state")
    if [ -f "$prefix/system.reg" ]; then
        wine_stop "$prefix"
        # Debian's wineserver keeps its sockets below /tmp/<contents of the
        # file "wineserver">; nothing else uses that folder.
        if [ -s "$prefix/wineserver" ]; then
            serverdir=/tmp/$(cat "$prefix/wineserver")
            case $serverdir in /tmp/?*) rm -rf -- "$serverdir" ;; esac
        fi
    fi
    top=$(dirname "$prefix")
    case $top in /tmp/vantor-wine.*) rm -rf -- "$top" ;; esac
    rm -f -- "$state"
}

case $action in
create)
    remove
    top=$(mktemp -d /tmp/vantor-wine.XXXXXX)
    prefix=$top/prefix
    start=$(date +%s%N)
    if ! env WINEPREFIX="$prefix" LC_ALL=ru_RU.UTF-8 wineboot -i >"$top/wineboot.log" 2>&1; then
        cat "$top/wineboot.log" >&2
        exit 1
    fi
    wine_stop "$prefix"
    [ -f "$prefix/system.reg" ] || { echo "wineboot made no registry in $prefix" >&2; exit 1; }
    printf '%s\n' "$prefix" >"$state"
    echo "Wine prefix $prefix made in $((($(date +%s%N) - start) / 1000000)) ms"
    ;;
remove)
    remove
    ;;
*)
    echo "usage: $0 create|remove STATE-FILE" >&2
    exit 2
    ;;
esac
