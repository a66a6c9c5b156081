#!/usr/bin/env bash
# Start-up smoke test of the real console on a virtual X display: COM1 is a
# pseudo-terminal; the window must appear with its exact title and a client
# area of 796 x 701, set the line to 9600 without writing to it, and close
# cleanly on SIGTERM (closing its port on the way out).
#
#   tests/smoke_startup.sh build/vxt4710
set -euo pipefail

console=$(realpath "${1:?usage: smoke_startup.sh <console executable>}")
title='Orvanta-VXT4710E中文语音合成芯片-PC端演示程序'

fail() {
    echo "smoke_startup: FAIL: $*" >&2
    exit 1
}
need() {
    command -v "$1" >/dev/null 2>&1 || fail "'$1' is missing (scripts/install-deps installs $2)"
}
need Xvfb xvfb
need xwininfo x11-utils
need python3 python3
[ -x "$console" ] || fail "no console executable at $console"

# Run the rest on a display of its own.
if [ -z "${VXT_SMOKE_DISPLAY_READY:-}" ]; then
    export VXT_SMOKE_DISPLAY_READY=1
    exec bash "$(dirname "$0")/with_xvfb.sh" bash "$0" "$console"
fi

tmp=$(mktemp -d)
helper_pid=
console_pid=
cleanup() {
    [ -n "$console_pid" ] && kill -KILL "$console_pid" 2>/dev/null || true
    [ -n "$helper_pid" ] && kill -KILL "$helper_pid" 2>/dev/null || true
    rm -rf "$tmp"
}
trap cleanup EXIT

mkdir -p "$tmp/config/vxt4710/ports" "$tmp/work"

# The far end of the line: a pseudo-terminal whose slave side is COM1. It
# counts the bytes the console writes and notes the line rate it sets.
python3 -c '
import os, select, signal, sys, termios
link, report = sys.argv[1], sys.argv[2]
master, slave = os.openpty()
rates = {termios.B9600: 9600, termios.B19200: 19200, termios.B38400: 38400}
def speed():
    return rates.get(termios.tcgetattr(master)[5], 0)
initial, received = speed(), 0
os.symlink(os.ttyname(slave), link)
def write(name):
    with open(name + ".tmp", "w") as f:
        f.write("%d %d %d\n" % (received, speed(), initial))
    os.rename(name + ".tmp", name)
def snapshot(*_):
    write(report + ".shown")
def stop(*_):
    write(report + ".end")
    sys.exit(0)
signal.signal(signal.SIGUSR1, snapshot)
signal.signal(signal.SIGTERM, stop)
while True:
    try:
        ready, _, _ = select.select([master], [], [], 0.05)
        if ready:
            received += len(os.read(master, 4096))
    except (OSError, InterruptedError):
        pass
' "$tmp/config/vxt4710/ports/com1" "$tmp/report" &
helper_pid=$!
for _ in $(seq 100); do
    [ -L "$tmp/config/vxt4710/ports/com1" ] && break
    sleep 0.1
done
[ -L "$tmp/config/vxt4710/ports/com1" ] || fail "the pseudo-terminal helper did not start"

(cd "$tmp/work" && exec env XDG_CONFIG_HOME="$tmp/config" QT_QPA_PLATFORM=xcb "$console") \
    >"$tmp/console.log" 2>&1 &
console_pid=$!

window=
for _ in $(seq 200); do
    kill -0 "$console_pid" 2>/dev/null || fail "the console ended early: $(cat "$tmp/console.log")"
    window=$(xwininfo -root -tree 2>/dev/null | grep -F "\"$title\"" | awk '{print $1}' | head -n1 || true)
    [ -n "$window" ] && break
    sleep 0.1
done
[ -n "$window" ] || fail "no window titled '$title' appeared; windows: $(xwininfo -root -tree)"

# The title comes before the window is mapped; on a busy machine well before.
for _ in $(seq 300); do
    info=$(xwininfo -id "$window")
    grep -q 'Map State: IsViewable' <<<"$info" && break
    sleep 0.1
done
width=$(awk '/Width:/ {print $2}' <<<"$info")
height=$(awk '/Height:/ {print $2}' <<<"$info")
[ "$width" = 796 ] && [ "$height" = 701 ] || fail "client area is ${width} x ${height}, not 796 x 701"
grep -q 'Map State: IsViewable' <<<"$info" || fail "the window is not shown: $info"

[ -f "$tmp/work/初始默认文本.txt" ] || fail "the initial text file was not created"
[ ! -s "$tmp/work/初始默认文本.txt" ] || fail "the initial text file is not empty"

# The line as the window shows.
kill -USR1 "$helper_pid"
for _ in $(seq 50); do
    [ -f "$tmp/report.shown" ] && break
    sleep 0.1
done
read -r received speed initial <"$tmp/report.shown" || fail "the pseudo-terminal helper wrote no report"
[ "$speed" = 9600 ] || fail "COM1 is at ${speed} bit/s while the window shows, not 9600"
[ "$received" = 0 ] || fail "the console wrote $received bytes at start-up"

kill -TERM "$console_pid"
rc=0
wait "$console_pid" || rc=$?
console_pid=
[ "$rc" = 0 ] || fail "the console exited with $rc after SIGTERM: $(cat "$tmp/console.log")"

# Closing the port hands the line back with the settings it had before; a
# process that merely died would have left 9600 behind.
kill -TERM "$helper_pid"
wait "$helper_pid" || true
helper_pid=
read -r received speed initial <"$tmp/report.end" || fail "the pseudo-terminal helper wrote no report"
[ "$speed" = "$initial" ] || fail "the console did not close its port on the way out"
[ "$received" = 0 ] || fail "the console wrote $received bytes"

echo "smoke_startup: window '$title' ${width} x ${height}, COM1 at 9600, nothing sent, clean exit"
