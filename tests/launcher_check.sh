#!/usr/bin/env bash
# The menu's launcher on a first start: it writes a short greeting into a new
# initial text file, in GBK, so that the first press of the play button says
# something; a file that is already there (with text or empty, or a link) is
# never touched, and a folder it cannot write into still starts the console.
#
#   tests/launcher_check.sh <packaging/vxt4710-launcher>
set -euo pipefail

launcher_src=$(realpath "${1:?usage: launcher_check.sh <vxt4710-launcher>}")
tmp=$(mktemp -d)
trap 'chmod -R u+w "$tmp" 2>/dev/null; rm -rf "$tmp"' EXIT
fail() {
    echo "launcher_check: FAIL: $*" >&2
    exit 1
}

# A stand-in console beside the launcher, as the package lays them out.
mkdir -p "$tmp/usr/bin" "$tmp/usr/libexec/vxt4710"
cp "$launcher_src" "$tmp/usr/libexec/vxt4710/vxt4710-launcher"
printf '#!/bin/sh\npwd >"$FAKE_REPORT"\n' >"$tmp/usr/bin/vxt4710"
chmod +x "$tmp/usr/bin/vxt4710" "$tmp/usr/libexec/vxt4710/vxt4710-launcher"
launcher=$tmp/usr/libexec/vxt4710/vxt4710-launcher

greeting=$(printf '%s' '欢迎使用VXT4710中文语音合成芯片。' | iconv -f UTF-8 -t GBK | od -An -tx1 | tr -d ' \n')
name=初始默认文本.txt

start() { # HOME -> runs the launcher from /
    rm -f "$tmp/report"
    (cd / && env -u XDG_DATA_HOME HOME="$1" FAKE_REPORT="$tmp/report" "$launcher") \
        >"$tmp/launch.log" 2>&1 || fail "the launcher failed: $(cat "$tmp/launch.log")"
    [ -f "$tmp/report" ] || fail "the launcher did not start the console"
}
hexof() { od -An -tx1 "$1" | tr -d ' \n'; }

# A first start: the greeting, exactly.
start "$tmp/new"
file=$tmp/new/.local/share/vxt4710/$name
[ -f "$file" ] || fail "no initial text file after a first start"
[ "$(hexof "$file")" = "$greeting" ] || fail "the new file holds $(hexof "$file"), not the GBK greeting"
# The second start leaves the file as it is, even when the user emptied it.
printf 'mine' >"$file"
start "$tmp/new"
[ "$(cat "$file")" = mine ] || fail "a file with text was overwritten: $(cat "$file")"
: >"$file"
start "$tmp/new"
[ ! -s "$file" ] || fail "an emptied file was filled again"

# A link, even one that points nowhere, is not written through.
mkdir -p "$tmp/link/.local/share/vxt4710"
ln -s "$tmp/elsewhere.txt" "$tmp/link/.local/share/vxt4710/$name"
start "$tmp/link"
[ ! -e "$tmp/elsewhere.txt" ] || fail "the greeting went through a dangling link"

# A folder the launcher may not write into: no file, the console starts all the same.
if [ "$(id -u)" -ne 0 ]; then
    mkdir -p "$tmp/ro/.local/share/vxt4710"
    chmod a-w "$tmp/ro/.local/share/vxt4710"
    start "$tmp/ro"
    [ ! -e "$tmp/ro/.local/share/vxt4710/$name" ] || fail "a file appeared in a read-only folder"
fi

echo "launcher_check: greeting written once, existing files and links left alone"
