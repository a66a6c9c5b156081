#!/usr/bin/env bash
# The Windows packages made from a build (scripts/package-windows) and
# checked under Wine (package_e2e.py): the zip's contents, and the installer
# and uninstaller in a Wine prefix of their own.
#   win32/tests/package_e2e.sh BUILD
set -euo pipefail
dir=$(realpath "${1:?usage: package_e2e.sh BUILD}")
cd "$(dirname "$0")/../.."
# scripts/package-windows takes its folders relative to the repository.
dir=$(realpath --relative-to=. "$dir")
if ! VXT_WIN_BUILD="$dir" scripts/package-windows "$dir/packages" >/dev/null; then
  echo "scripts/package-windows failed" >&2
  exit 1
fi
exec python3 win32/tests/package_e2e.py --build "$dir" --packages "$dir/packages"
