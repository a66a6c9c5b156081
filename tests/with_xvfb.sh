#!/usr/bin/env bash
# Runs a command on a virtual X display of its own, 1280x1024 at 96 dpi.
# Xvfb picks the free display number itself (-displayfd) when it is ready:
# "xvfb-run -a" can give two tests started at the same moment the same
# number, and the second then talks to the first one's server until that
# one ends under it.
#
#   tests/with_xvfb.sh COMMAND [ARG...]
set -euo pipefail
[ $# -gt 0 ] || { echo "usage: with_xvfb.sh COMMAND [ARG...]" >&2; exit 64; }
command -v Xvfb >/dev/null 2>&1 || { echo "with_xvfb: 'Xvfb' is missing (scripts/install-deps installs xvfb)" >&2; exit 1; }

dir=$(mktemp -d)
xvfb_pid=
cleanup() {
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    rm -rf "$dir"
}
trap cleanup EXIT
trap 'exit 143' TERM
trap 'exit 130' INT

Xvfb -displayfd 3 -screen 0 1280x1024x24 -dpi 96 -nolisten tcp 3>"$dir/display" 2>"$dir/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 200); do
    grep -q '^[0-9]\+$' "$dir/display" 2>/dev/null && break
    kill -0 "$xvfb_pid" 2>/dev/null || { echo "with_xvfb: Xvfb ended: $(cat "$dir/xvfb.log")" >&2; exit 1; }
    sleep 0.05
done
number=$(head -n1 "$dir/display")
[ -n "$number" ] || { echo "with_xvfb: Xvfb gave no display in 10 s: $(cat "$dir/xvfb.log")" >&2; exit 1; }

rc=0
DISPLAY=":$number" "$@" || rc=$?
exit "$rc"
