#!/usr/bin/env bash
# scripts/run and scripts/run-windows without a display to show a window on:
# each says so at once and ends with 69, before installing, building or
# starting anything (the tools they would reach first are stand-ins that
# note each call).
#
#   tests/run_check.sh <source folder>
set -euo pipefail

root=$(realpath "${1:?usage: run_check.sh <source folder>}")
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() {
    echo "run_check: FAIL: $*" >&2
    exit 1
}

mkdir -p "$tmp/bin" "$tmp/clone"
for tool in dpkg-query apt-get sudo cmake wine64 python3 Xvfb; do
    printf '#!/bin/sh\necho "%s $*" >>"%s/calls"\nexit 1\n' "$tool" "$tmp" >"$tmp/bin/$tool"
    chmod +x "$tmp/bin/$tool"
done
# A copy of the scripts: a run that went on would write into its clone.
cp -r "$root/scripts" "$tmp/clone/scripts"

for script in run run-windows; do
    rm -f "$tmp/calls"
    status=0
    (cd "$tmp" && env -u DISPLAY -u WAYLAND_DISPLAY PATH="$tmp/bin:$PATH" WINE64="$tmp/bin/wine64" \
        timeout 20 "$tmp/clone/scripts/$script" >"$tmp/out" 2>"$tmp/err") || status=$?
    [ "$status" = 69 ] || fail "scripts/$script ended with $status, not 69: $(cat "$tmp/err")"
    grep -q "no.*display to show the console's window on" "$tmp/err" ||
        fail "scripts/$script does not say that there is no display: $(cat "$tmp/err")"
    [ ! -e "$tmp/calls" ] || fail "scripts/$script went on to: $(cat "$tmp/calls")"
    [ ! -e "$tmp/clone/build" ] || fail "scripts/$script made build/"
done
echo "run_check: both say at once that there is no display"
