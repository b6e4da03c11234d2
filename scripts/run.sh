#!/usr/bin/env bash
# Sets everything up, builds, and runs PROGRAM (articulated, pathmove, ikreach,
# smdinfo) from data/ with the given options.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
[ $# -ge 1 ] || { echo "usage: scripts/run.sh PROGRAM [OPTIONS...]" >&2; exit 2; }
program="$1"; shift
"$root/scripts/setup.sh"
"$root/scripts/build.sh" >/dev/null
[ -x "$root/build/bin/$program" ] || { echo "run.sh: no program '$program' in build/bin" >&2; exit 2; }
cd "$root/data"
if [ "$program" = smdinfo ] && [ $# -eq 0 ]; then set -- *.smd; fi
exec "$root/build/bin/$program" "$@"
