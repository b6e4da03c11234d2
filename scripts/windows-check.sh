#!/usr/bin/env bash
# Cross-builds the Windows executables and runs them under Wine:
#  - d3dx_check: our matrix operations against the Direct3D 9 utility library's.
# Uses a fresh Wine prefix, removed at the end with its wineserver.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
started=$(date +%s)
scripts/setup.sh windows
scripts/build-windows.sh >/dev/null
bin="$root/build-windows/bin"

export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="  # no Mono or Gecko installer prompts
WINEPREFIX="$(mktemp -d)"
export WINEPREFIX
cleanup() {
    wineserver -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"
}
trap cleanup EXIT
wineboot -i >/dev/null 2>&1 || true

echo "windows-check: d3dx_check"
wine "$bin/d3dx_check.exe"

echo "windows-check: passed in $(( $(date +%s) - started )) s"
