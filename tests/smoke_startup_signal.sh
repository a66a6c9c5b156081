#!/usr/bin/env bash
# The real console, started with an initial text file over 1 MB, shows its
# message box before the window; the first SIGTERM, SIGINT or SIGHUP while
# that box is open must close the box and end the program with the signal's
# status, 128 + its number (it used to do nothing: the box kept the program
# waiting; then it ended with 0, as if the user had closed the window).
#
#   tests/smoke_startup_signal.sh build/vxt4710
set -euo pipefail

console=$(realpath "${1:?usage: smoke_startup_signal.sh <console executable>}")

fail() {
    echo "smoke_startup_signal: FAIL: $*" >&2
    exit 1
}
for tool in Xvfb xwininfo; do
    command -v "$tool" >/dev/null 2>&1 || fail "'$tool' is missing (scripts/install-deps installs it)"
done
[ -x "$console" ] || fail "no console executable at $console"

if [ -z "${VXT_SMOKE_DISPLAY_READY:-}" ]; then
    export VXT_SMOKE_DISPLAY_READY=1
    exec bash "$(dirname "$0")/with_xvfb.sh" bash "$0" "$console"
fi

tmp=$(mktemp -d)
console_pid=
cleanup() {
    [ -n "$console_pid" ] && kill -KILL "$console_pid" 2>/dev/null || true
    rm -rf "$tmp"
}
trap cleanup EXIT

mkdir -p "$tmp/config/vxt4710/ports" "$tmp/work"
head -c $((1024 * 1024 + 1)) /dev/zero | tr '\0' 'a' >"$tmp/work/初始默认文本.txt"

shown() {
    xwininfo -root -tree 2>/dev/null | grep -qF "\"$1\""
}

for sig_status in TERM:143 INT:130 HUP:129; do
    sig=${sig_status%:*}
    expected=${sig_status#*:}
    (cd "$tmp/work" && exec env XDG_CONFIG_HOME="$tmp/config" QT_QPA_PLATFORM=xcb "$console") \
        >"$tmp/console.log" 2>&1 &
    console_pid=$!
    for _ in $(seq 300); do
        kill -0 "$console_pid" 2>/dev/null || fail "SIG$sig: the console ended early: $(cat "$tmp/console.log")"
        shown VXT4710 && break
        sleep 0.1
    done
    shown VXT4710 || fail "SIG$sig: no message box appeared; windows: $(xwininfo -root -tree)"
    kill -"$sig" "$console_pid"
    for _ in $(seq 100); do
        kill -0 "$console_pid" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$console_pid" 2>/dev/null; then
        fail "SIG$sig: the console still runs 10 s after the signal (box open: $(shown VXT4710 && echo yes || echo no))"
    fi
    rc=0
    wait "$console_pid" || rc=$?
    console_pid=
    [ "$rc" = "$expected" ] || fail "SIG$sig: the console exited with $rc, not $expected: $(cat "$tmp/console.log")"
    echo "smoke_startup_signal: SIG$sig closed the start-up box and ended the console"
done
