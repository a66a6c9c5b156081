#!/usr/bin/env bash
# Builds the Debian package from an existing build and checks it: lintian
# finds no errors, the desktop entry and the AppStream metadata validate, the
# file list and control fields are the expected ones, the manual pages render
# without warnings, and the programs run from a tree unpacked with dpkg -x:
# the simulated chip prints its version, the menu's launcher picks the right
# working folder, and the console comes up under Xvfb through the desktop
# entry's Exec line. Exits 77 (skipped) only where cpack is missing.
#
#   tests/package_check.sh <build dir> <version> <with vxt4710-cli: 0|1> [<with the page: 0|1>]
set -euo pipefail

build=$(realpath "${1:?usage: package_check.sh <build dir> <version> <with cli: 0|1>}")
version=${2:?the project version}
with_cli=${3:?0 or 1}
with_web=${4:-0}
title='Orvanta-VXT4710E中文语音合成芯片-PC端演示程序'

fail() {
    echo "package_check: FAIL: $*" >&2
    exit 1
}
if ! command -v cpack >/dev/null 2>&1; then
    echo "package_check: cpack is missing, skipped"
    exit 77
fi
need() {
    command -v "$1" >/dev/null 2>&1 || fail "'$1' is missing (scripts/install-deps installs $2)"
}
need lintian lintian
need desktop-file-validate desktop-file-utils
need appstreamcli appstream
need dpkg-shlibdeps dpkg-dev
need dpkg-parsechangelog dpkg-dev
need rsvg-convert librsvg2-bin
need man man-db
need xwininfo x11-utils
need python3 python3

# Everything below runs on a display of its own.
if [ -z "${VXT_PACKAGE_DISPLAY_READY:-}" ]; then
    export VXT_PACKAGE_DISPLAY_READY=1
    exec bash "$(dirname "$0")/with_xvfb.sh" bash "$0" "$@"
fi

tmp=$(mktemp -d)
chip_pid=
console_pid=
cleanup() {
    [ -n "$console_pid" ] && kill -KILL "$console_pid" 2>/dev/null || true
    [ -n "$chip_pid" ] && kill -TERM "$chip_pid" 2>/dev/null && wait "$chip_pid" 2>/dev/null || true
    rm -rf "$tmp"
}
trap cleanup EXIT

# --- The package, built into a scratch folder so that the build stays as it is.
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$tmp/out" >"$tmp/cpack.log" 2>&1 ||
    fail "cpack failed: $(cat "$tmp/cpack.log")"
arch=$(dpkg --print-architecture)
deb=$tmp/out/vxt4710_${version}_${arch}.deb
[ -f "$deb" ] || fail "no $(basename "$deb"); cpack made: $(ls "$tmp/out")"

# --- lintian: no errors; warnings are shown.
lintian --fail-on error --tag-display-limit 0 "$deb" >"$tmp/lintian.log" 2>&1 ||
    fail "lintian reports errors: $(cat "$tmp/lintian.log")"
grep -E '^[EW]: ' "$tmp/lintian.log" | sed 's/^/package_check: lintian: /' || true

# --- Control fields.
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = vxt4710 ] || fail "package name is '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "package version is '$(field Version)', not $version"
[ "$(field Architecture)" = "$arch" ] || fail "architecture is '$(field Architecture)'"
depends=$(field Depends)
for lib in libqt6widgets6 libc6 qt6-qpa-plugins fonts-arphic-uming \
    qt6-translations-l10n; do
    grep -qE "(^|, )$lib( |,|$)" <<<"$depends" || fail "Depends lacks $lib: $depends"
done
# The serial port is the system's own (termios): no Qt serial library.
if grep -qE "(^|, )libqt6serialport6( |,|$)" <<<"$depends"; then
    fail "Depends still names libqt6serialport6: $depends"
fi
grep -qE '(^|, )fonts-noto-cjk( |,|$)' <<<"$(field Recommends)" ||
    fail "fonts-noto-cjk is not recommended: $(field Recommends)"

# --- The file list (files and links; folders come with them).
expected=(
    usr/bin/vxt4710
    usr/bin/vxt4710-chipsim
    usr/libexec/vxt4710/vxt4710-launcher
    "usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/wireshark/plugins/vxt4710.lua"
    usr/share/applications/vxt4710.desktop
    usr/share/doc/vxt4710/changelog.gz
    usr/share/doc/vxt4710/copyright
    usr/share/icons/hicolor/128x128/apps/vxt4710.png
    usr/share/icons/hicolor/16x16/apps/vxt4710.png
    usr/share/icons/hicolor/32x32/apps/vxt4710.png
    usr/share/icons/hicolor/48x48/apps/vxt4710.png
    usr/share/icons/hicolor/scalable/apps/vxt4710.svg
    usr/share/man/man1/vxt4710-chipsim.1.gz
    usr/share/man/man1/vxt4710.1.gz
    usr/share/metainfo/org.vxt4710.console.metainfo.xml
)
if [ "$with_cli" = 1 ]; then
    expected+=(usr/bin/vxt4710-cli usr/share/man/man1/vxt4710-cli.1.gz)
fi
if [ "$with_web" = 1 ]; then
    expected+=(usr/share/applications/vxt4710-web.desktop
               usr/libexec/vxt4710/vxt4710-web-launcher
               usr/share/vxt4710/web/index.html usr/share/vxt4710/web/vxt4710.js)
fi
printf '%s\n' "${expected[@]}" | LC_ALL=C sort >"$tmp/expected.txt"
dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v '/$' | sed 's|^\./||' | LC_ALL=C sort >"$tmp/actual.txt"
diff -u "$tmp/expected.txt" "$tmp/actual.txt" >"$tmp/list.diff" ||
    fail "the package's files differ from the expected list (- expected, + in the package):
$(cat "$tmp/list.diff")"

tree=$tmp/tree
dpkg -x "$deb" "$tree"
usr=$tree/usr

# --- Desktop entry and AppStream metadata.
desktop=$usr/share/applications/vxt4710.desktop
desktop-file-validate "$desktop" >"$tmp/desktop.log" 2>&1 || true
[ ! -s "$tmp/desktop.log" ] || fail "desktop-file-validate: $(cat "$tmp/desktop.log")"
metainfo=$usr/share/metainfo/org.vxt4710.console.metainfo.xml
appstreamcli validate --no-net --pedantic "$metainfo" >"$tmp/appstream.log" 2>&1 ||
    fail "appstreamcli validate: $(cat "$tmp/appstream.log")"
grep -qF "<release version=\"$version\"" "$metainfo" || fail "the metadata's release is not $version"
grep -qF '<launchable type="desktop-id">vxt4710.desktop</launchable>' "$metainfo" ||
    fail "the metadata does not launch vxt4710.desktop"
for program in vxt4710 vxt4710-chipsim $([ "$with_cli" = 1 ] && echo vxt4710-cli); do
    grep -qF "<binary>$program</binary>" "$metainfo" || fail "the metadata does not provide $program"
done
entry() { sed -n "s/^$1=//p" "$desktop"; }
[ "$(entry Name)" = "VXT4710 Console" ] || fail "Name is '$(entry Name)'"
[ "$(entry 'Name\[zh_CN\]')" = "VXT4710中文语音合成芯片演示程序" ] || fail "Name[zh_CN] is '$(entry 'Name\[zh_CN\]')'"
[ "$(entry Categories)" = "Development;Electronics;" ] || fail "Categories is '$(entry Categories)'"
[ "$(entry Icon)" = vxt4710 ] || fail "Icon is '$(entry Icon)'"
[ -n "$(entry 'Comment\[zh_CN\]')" ] && [ -n "$(entry Comment)" ] || fail "a Comment is missing"
exec_line=$(entry Exec)
[ -x "$tree$exec_line" ] || fail "the Exec line '$exec_line' names no program in the package"
if [ "$with_web" = 1 ]; then
    # The page's entry opens the packaged page in the user's browser.
    web_desktop=$usr/share/applications/vxt4710-web.desktop
    desktop-file-validate "$web_desktop" >"$tmp/web-desktop.log" 2>&1 || true
    [ ! -s "$tmp/web-desktop.log" ] || fail "desktop-file-validate: $(cat "$tmp/web-desktop.log")"
    [ "$(sed -n 's/^Name=//p' "$web_desktop")" = "VXT4710 Console (browser)" ] ||
        fail "the page's entry is named '$(sed -n 's/^Name=//p' "$web_desktop")'"
    web_exec=$(sed -n 's/^Exec=//p' "$web_desktop")
    [ -x "$tree$web_exec" ] || fail "the page's Exec line '$web_exec' names no program in the package"
    # The launcher hands the unpacked tree's page to xdg-open (a stand-in here).
    mkdir -p "$tmp/bin"
    printf '#!/bin/sh
echo "$@" >"%s/opened"
' "$tmp" >"$tmp/bin/xdg-open"
    chmod +x "$tmp/bin/xdg-open"
    PATH=$tmp/bin:$PATH "$tree$web_exec"
    [ "$(cat "$tmp/opened")" = "$(readlink -f "$usr/share/vxt4710/web/index.html")" ] ||
        fail "the page's launcher opened '$(cat "$tmp/opened")'"
    grep -qF '<script src="vxt4710.js"></script>' "$usr/share/vxt4710/web/index.html" ||
        fail "the packaged page loads no vxt4710.js"
fi

# --- Icons: each PNG has the size of its folder and is the current rendering
# of the SVG (packaging/icons/render-pngs makes them).
for size in 16 32 48 128; do
    png=$usr/share/icons/hicolor/${size}x${size}/apps/vxt4710.png
    got=$(python3 -c '
import struct, sys
d = open(sys.argv[1], "rb").read(26)
assert d[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG"
w, h = struct.unpack(">II", d[16:24])
print("%dx%d" % (w, h))' "$png") || fail "$png is not a PNG"
    [ "$got" = "${size}x${size}" ] || fail "the ${size}x${size} icon is $got"
    rsvg-convert -w "$size" -h "$size" "$usr/share/icons/hicolor/scalable/apps/vxt4710.svg" -o "$tmp/icon.png"
    cmp -s "$tmp/icon.png" "$png" || fail "the ${size}x${size} icon is not the SVG's rendering (run packaging/icons/render-pngs)"
done

# --- Manual pages and changelog.
pages=(vxt4710 vxt4710-chipsim)
[ "$with_cli" = 1 ] && pages+=(vxt4710-cli)
for page in "${pages[@]}"; do
    file=$usr/share/man/man1/$page.1.gz
    zcat "$file" | head -n1 | grep -qF "\"vxt4710 $version\"" || fail "$page(1) does not carry version $version"
    LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$file" >"$tmp/page.txt" 2>"$tmp/page.err" ||
        fail "man cannot show $page(1): $(cat "$tmp/page.err")"
    [ ! -s "$tmp/page.err" ] || fail "$page(1) renders with warnings: $(cat "$tmp/page.err")"
    grep -q "^NAME" "$tmp/page.txt" || fail "$page(1) has no NAME section"
done
changelog_version=$(dpkg-parsechangelog -l "$usr/share/doc/vxt4710/changelog.gz" -S Version 2>&1) ||
    fail "the changelog does not parse: $changelog_version"
[ "$changelog_version" = "$version" ] || fail "the changelog's top entry is $changelog_version, not $version"

# --- The programs, run from the unpacked tree.
for program in vxt4710-chipsim $([ "$with_cli" = 1 ] && echo vxt4710-cli); do
    out=$("$usr/bin/$program" --version 2>&1) || fail "$program --version failed: $out"
    [ "$out" = "$program $version" ] || fail "$program --version prints '$out'"
done

# The launcher with a stand-in console that tells where it was started and
# with what: table of environment -> expected working folder.
fake=$tmp/fake
mkdir -p "$fake/usr/bin" "$fake/usr/libexec/vxt4710" "$tmp/links"
cp "$usr/libexec/vxt4710/vxt4710-launcher" "$fake/usr/libexec/vxt4710/"
cat >"$fake/usr/bin/vxt4710" <<'FAKE'
#!/bin/sh
printf '%s %s\n' "$#" "$(pwd)" >"$FAKE_REPORT"
FAKE
chmod +x "$fake/usr/bin/vxt4710"
ln -s "$fake/usr/libexec/vxt4710/vxt4710-launcher" "$tmp/links/start-console"
launcher=$fake/usr/libexec/vxt4710/vxt4710-launcher
mkdir -p "$tmp/h/with space"
cases=(
    # HOME | XDG_DATA_HOME ('-' unset) | launcher | expected folder
    "$tmp/h/a|-|$launcher|$tmp/h/a/.local/share/vxt4710"
    "$tmp/h/b|$tmp/data/b|$launcher|$tmp/data/b/vxt4710"
    "$tmp/h/c|relative/data|$launcher|$tmp/h/c/.local/share/vxt4710"
    "$tmp/h/d||$launcher|$tmp/h/d/.local/share/vxt4710"
    "$tmp/h/with space|-|$launcher|$tmp/h/with space/.local/share/vxt4710"
    "$tmp/h/e|-|$tmp/links/start-console|$tmp/h/e/.local/share/vxt4710"
)
for c in "${cases[@]}"; do
    IFS='|' read -r home data start want <<<"$c"
    rm -f "$tmp/fake.report"
    envs=(HOME="$home" FAKE_REPORT="$tmp/fake.report")
    [ "$data" != - ] && envs+=(XDG_DATA_HOME="$data")
    (cd / && env -u XDG_DATA_HOME "${envs[@]}" "$start" --ignored) >"$tmp/launch.log" 2>&1 ||
        fail "launcher [$c] failed: $(cat "$tmp/launch.log")"
    [ -f "$tmp/fake.report" ] || fail "launcher [$c] did not start the console"
    [ "$(cat "$tmp/fake.report")" = "0 $want" ] ||
        fail "launcher [$c] started the console as '$(cat "$tmp/fake.report")', not '0 $want'"
done
# A file where the folder should be: a message and no console.
mkdir -p "$tmp/h/f/.local/share"
: >"$tmp/h/f/.local/share/vxt4710"
rm -f "$tmp/fake.report"
rc=0
(cd / && env -u XDG_DATA_HOME HOME="$tmp/h/f" FAKE_REPORT="$tmp/fake.report" "$launcher") \
    >"$tmp/launch.log" 2>&1 || rc=$?
[ "$rc" = 1 ] || fail "launcher with a blocked folder ended with $rc, not 1"
grep -qF "cannot make or enter the folder $tmp/h/f/.local/share/vxt4710" "$tmp/launch.log" ||
    fail "launcher with a blocked folder says: $(cat "$tmp/launch.log")"
[ ! -f "$tmp/fake.report" ] || fail "launcher with a blocked folder started the console"

# The real console through the desktop entry's Exec line, with the packaged
# simulated chip as COM1, started from a folder that must stay untouched.
ports=$tmp/config/vxt4710/ports
mkdir -p "$ports" "$tmp/home" "$tmp/elsewhere"
"$usr/bin/vxt4710-chipsim" --as COM1 --ports-dir "$ports" --time-scale 0.01 \
    >"$tmp/chip.log" 2>&1 </dev/null &
chip_pid=$!
for _ in $(seq 100); do
    grep -q '^linked COM1' "$tmp/chip.log" && break
    sleep 0.1
done
grep -q '^linked COM1' "$tmp/chip.log" || fail "the packaged simulated chip did not start: $(cat "$tmp/chip.log")"

(cd "$tmp/elsewhere" && exec env -u XDG_DATA_HOME HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/config" \
    QT_QPA_PLATFORM=xcb sh -c "exec $tree$exec_line") >"$tmp/console.log" 2>&1 &
console_pid=$!
window=
for _ in $(seq 300); do
    kill -0 "$console_pid" 2>/dev/null || fail "the console ended early: $(cat "$tmp/console.log")"
    window=$(xwininfo -root -tree 2>/dev/null | grep -F "\"$title\"" | awk '{print $1}' | head -n1 || true)
    [ -n "$window" ] && break
    sleep 0.1
done
[ -n "$window" ] || fail "no window titled '$title' appeared"
# The title comes before the window is mapped; on a busy machine well before.
for _ in $(seq 300); do
    grep -q 'Map State: IsViewable' <<<"$(xwininfo -id "$window")" && break
    sleep 0.1
done
grep -q 'Map State: IsViewable' <<<"$(xwininfo -id "$window")" || fail "the window is not shown"
initial="$tmp/home/.local/share/vxt4710/初始默认文本.txt"
[ -f "$initial" ] || fail "the initial text file is not in ~/.local/share/vxt4710"
[ "$(iconv -f GBK -t UTF-8 "$initial")" = '欢迎使用VXT4710中文语音合成芯片。' ] ||
    fail "the new initial text file holds no greeting: $(od -An -tx1 "$initial")"
[ -z "$(ls -A "$tmp/elsewhere")" ] || fail "the console wrote into the folder it was started from"
kill -TERM "$console_pid"
rc=0
wait "$console_pid" || rc=$?
console_pid=
[ "$rc" = 0 ] || fail "the console exited with $rc after SIGTERM: $(cat "$tmp/console.log")"

echo "package_check: $(basename "$deb"): lintian without errors, entry and metadata valid," \
    "${#expected[@]} files as expected, console up from the menu in ~/.local/share/vxt4710"
