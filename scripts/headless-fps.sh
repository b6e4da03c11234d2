#!/usr/bin/env bash
# Prints how many frames per second a program draws headless (offscreen EGL,
# virtual clock): runs it for N frames (default 3000) from data/ and divides by
# the wall time, start-up included.
#   scripts/headless-fps.sh [PROGRAM] [FRAMES]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
program="${1:-articulated}"
frames="${2:-3000}"
exe="$root/build/bin/$program"
[ -x "$exe" ] || { echo "headless-fps.sh: build first (no $exe)" >&2; exit 2; }
start=$(date +%s.%N)
"$exe" --headless --data "$root/data" --frames "$frames" >/dev/null
end=$(date +%s.%N)
awk -v f="$frames" -v s="$start" -v e="$end" -v p="$program" \
    'BEGIN { printf "%s: %d frames in %.3f s = %.0f frames per second (headless)\n", p, f, e - s, f / (e - s) }'
