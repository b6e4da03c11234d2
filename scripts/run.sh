#!/usr/bin/env bash
# Sets everything up, builds, and runs PROGRAM (articulated, pathmove, ikreach,
# smdinfo) from data/ with the given options. `scripts/run.sh web [PORT]` builds
# the web site instead and serves it on 127.0.0.1 (port 8000 by default).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
[ $# -ge 1 ] || { echo "usage: scripts/run.sh PROGRAM [OPTIONS...]" >&2; exit 2; }
program="$1"; shift
if [ "$program" = web ]; then
    "$root/scripts/web.sh"
    port="${1:-8000}"
    echo "run.sh: serving build-web/site at http://127.0.0.1:$port/ (Ctrl+C stops)"
    exec python3 -m http.server "$port" --bind 127.0.0.1 --directory "$root/build-web/site"
fi
"$root/scripts/setup.sh"
"$root/scripts/build.sh" >/dev/null
[ -x "$root/build/bin/$program" ] || { echo "run.sh: no program '$program' in build/bin" >&2; exit 2; }
cd "$root/data"
if [ "$program" = smdinfo ] && [ $# -eq 0 ]; then set -- *.smd; fi
exec "$root/build/bin/$program" "$@"
