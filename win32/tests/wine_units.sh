#!/usr/bin/env bash
# Unit test programs built for Windows, under wine64 in one Wine prefix that
# a CTest fixture makes before the first and checks and removes after the
# last (win32/tests/wine/CMakeLists.txt). They open no port and need no
# display.
#   wine_units.sh make PREFIX                 a fresh prefix (win32/tests/wine_prefix.py)
#   wine_units.sh run PREFIX PROGRAM [ARG...] one program in it
#   wine_units.sh finish PREFIX               no COM or LPT name reaches a device; removed
set -euo pipefail
here=$(dirname "$0")
wine=${WINE64:-/usr/lib/wine/wine64}
action=${1:?usage: wine_units.sh make|run|finish PREFIX [PROGRAM ARG...]}
prefix=${2:?usage: wine_units.sh make|run|finish PREFIX [PROGRAM ARG...]}
shift 2
# No menu builder (it writes into the user's home), no Mono, no Gecko.
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset DISPLAY WAYLAND_DISPLAY
stop_server() {
  # The prefix's server goes before the prefix does.
  if [ -d "$prefix" ]; then
    "${wine%/*}/wineserver" -k 2>/dev/null || true
    "${wine%/*}/wineserver" -w 2>/dev/null || true
  fi
}
case $action in
  make)
    stop_server
    rm -rf "$prefix"
    # The first start of a fresh prefix is the slow one: once, before any
    # program, with no COM name on a real device.
    python3 "$here/wine_prefix.py" make "$prefix"
    ;;
  run)
    "$wine" "$@"
    ;;
  finish)
    stop_server
    status=0
    python3 "$here/wine_prefix.py" check "$prefix" || status=1
    rm -rf "$prefix"
    exit $status
    ;;
  *)
    echo "wine_units.sh: make, run or finish, not $action" >&2
    exit 64
    ;;
esac
