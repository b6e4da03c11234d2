#!/usr/bin/env bash
# page_matches_native.sh PROGRAM COMPARE_RUNS SITE SCRIPT OUT [FILE…]
# Runs SCRIPT headless with the native PROGRAM and in its page in Chromium (with
# FILEs: `PROGRAM FILE…` natively, the files opened in the page); the
# traces must be equal (integers exactly, other numbers within 1e-5 + 1e-6
# relative: the browser's C library rounds sin, cos and acos differently from
# glibc in the last bit now and then, and the solver carries such a bit to a few
# float ulps; the CPU time is not compared) and every capture close: a pixel differs only when no
# pixel within 1 px of it in the other picture is within 48 per channel, at
# most 0.1 % of them (the two rasterisers step a line a pixel apart here and
# there). The text is the same glyph bitmaps on both sides, so it is compared
# as pixels too. The script's first line may hold options: "# options: --frames 300"
# (only the frame count is taken here: the files come as arguments). What the
# program says is compared with each file's folder dropped (the page's files are
# in /files/).
set -euo pipefail
program="$1" compare="$2" site="$3" script="$4" out="$5"
shift 5
files=()
for file in "$@"; do files+=("$(realpath "$file")"); done
name=$(basename "$program")
rm -rf "$out"
mkdir -p "$out/native" "$out/web"
frames=$(sed -n '1s/^# options:.*--frames \([0-9]*\).*/\1/p' "$script")
data="$(cd "$(dirname "$0")/../../data" && pwd)"
(cd "$out/native" && "$program" --headless --data "$data" --script "$script" \
    ${frames:+--frames "$frames"} --trace trace.jsonl "${files[@]}" 2>stderr.txt)
node "$(dirname "$0")/run_page.mjs" "$site" "$name" "$script" "$out/web" "$frames" "${files[@]}"
"$compare" trace "$out/native/trace.jsonl" "$out/web/trace.jsonl" --absolute 1e-5 --relative 1e-6
count=0
for png in "$out/native/"*.png; do
    [ -f "$png" ] || continue
    [ -f "$out/web/$(basename "$png")" ] || { echo "no $(basename "$png") from the page"; exit 1; }
    printf '%s ' "$(basename "$png")"
    "$compare" image "$png" "$out/web/$(basename "$png")" --radius 1 --channel 48 --max-fraction 0.001
    count=$((count + 1))
done
[ "$count" -gt 0 ] || { echo "the script captured nothing to compare"; exit 1; }
for side in native web; do
    sed -E 's#(^|[ "])[^ "]*/([^/ "]+\.smd)#\1\2#g' "$out/$side/stderr.txt" >"$out/$side/said.txt"
done
cmp -s "$out/native/said.txt" "$out/web/said.txt" || { echo "stderr differs:"; diff "$out/native/said.txt" "$out/web/said.txt"; exit 1; }
