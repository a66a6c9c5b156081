#!/usr/bin/env bash
# Smoke test of the real vxt4710-cli: it links no Qt library at all, runs
# without a display, prints its version and help, and refuses bad usage
# with status 64 and one line of usage.
set -euo pipefail
cli=$1
fail() { echo "smoke_cli: $*" >&2; exit 1; }

if ldd "$cli" | grep -Ei 'libQt'; then
  fail "links a Qt library"
fi
version=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$cli" --version)
[[ $version =~ ^vxt4710-cli\ [0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "--version printed '$version'"
help=$(env -u DISPLAY -u WAYLAND_DISPLAY "$cli" --help)
grep -q '^usage: vxt4710-cli ' <<<"$help" || fail "--help has no usage line"
grep -q '^Examples:' <<<"$help" || fail "--help has no examples"
set +e
err=$(env -u DISPLAY "$cli" --bogus 2>&1 >/dev/null)
status=$?
set -e
[ "$status" = 64 ] || fail "bad usage ended with $status, not 64"
grep -q '^usage: ' <<<"$err" || fail "bad usage printed no usage line"
echo "smoke_cli: ok ($version)"
