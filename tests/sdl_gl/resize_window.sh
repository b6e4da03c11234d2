#!/usr/bin/env bash
# A program's real X window (Xvfb) resized as a person resizes it: the figure
# (articulated's standing pose, which does not move) keeps its proportions and,
# the vertical view angle being fixed, its size at the same height; a window
# twice as wide sees more at the sides, a taller one draws the figure larger by
# the ratio of the heights. Measured on captures of the window. Exits 77
# (skipped) without Xvfb, xdotool or ImageMagick.
#   resize_window.sh PROGRAM_EXE DATA_DIR WORK_DIR
set -uo pipefail
exe="$1"; data="$2"; work="$3"
command -v import >/dev/null || { echo "skipped: ImageMagick is not installed"; exit 77; }
XVFB_SCREEN=1400x1100x24 source "$(dirname "$0")/../support/xvfb.sh" "$work"
trace="$work/trace.jsonl"; err="$work/stderr.txt"
rm -f "$trace"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

timeout 120 "$exe" --data "$data" --trace "$trace" 2>"$err" &
app=$!
wid=$(timeout 20 xdotool search --sync --onlyvisible --name "VX330" | head -1)
[ -n "$wid" ] || { echo "FAIL: no window"; cat "$err"; kill "$app"; exit 1; }
xdotool windowfocus --sync "$wid"
lines() { { wc -l <"$trace"; } 2>/dev/null || echo 0; }
frames() { local n i; n=$(lines); for i in $(seq 600); do [ "$(lines)" -ge $((n + $1)) ] && return; sleep 0.05; done; }
xdotool key s; frames 5  # the standing pose

# figure W H NAME: resizes the client area to W x H, captures the window and
# sets fw, fh: the size of the figure's white lines (below the frame-rate text).
figure() {
    xdotool windowsize "$wid" "$1" "$2"; sleep 0.3; frames 5
    import -window "$wid" "$work/$3.png"
    read -r ww wh < <(identify -format '%w %h' "$work/$3.png")
    [ "$ww" -eq "$1" ] && [ "$wh" -eq "$2" ] || fail "$3: the window is ${ww}x$wh, not $1x$2"
    read -r fw fh < <(convert "$work/$3.png" -crop +0+40 +repage -fill black +opaque white \
        -trim -format '%w %h' info:)
    echo "$3: window ${ww}x$wh, figure ${fw}x$fh"
}
near() { awk -v g="$1" -v w="$2" -v t="$3" 'BEGIN { exit !(g - w <= t * w && w - g <= t * w) }'; }

figure 484 461 default; w0=$fw; h0=$fh
figure 968 461 wide
near "$fh" "$h0" 0.03 && near "$fw" "$w0" 0.05 ||
    fail "twice as wide, the figure is ${fw}x$fh, not ${w0}x$h0 (stretched?)"
figure 484 800 tall
near "$fh" "$(awk -v h="$h0" 'BEGIN { print h * 800 / 461 }')" 0.03 ||
    fail "at 800 px high the figure is $fh px high, not 800/461 of $h0"
near "$(awk -v w="$fw" -v h="$fh" 'BEGIN { print w / h }')" \
     "$(awk -v w="$w0" -v h="$h0" 'BEGIN { print w / h }')" 0.05 ||
    fail "at 800 px high the figure's width/height is $fw/$fh, not $w0/$h0"

xdotool windowclose "$wid"
wait "$app"; status=$?
[ "$status" -eq 0 ] || fail "the run ended with status $status"
[ "$failures" -eq 0 ] || { cat "$err"; exit 1; }
echo "ok: a resized window keeps the picture's proportions, drawn at its own size"
