#!/usr/bin/env bash
# run-on-wine.sh STATE-FILE LOCALE PROGRAM [ARGS...]
# Runs a Windows program in the throw-away prefix, with the ANSI code page that
# LOCALE gives (ru_RU.UTF-8: 1251, ja_JP.UTF-8: 932), and passes its exit
# status on.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"
prefix=$(wine_prefix_from "$1")
locale=$2
shift 2
wine_run "$prefix" "$locale" "$@"
