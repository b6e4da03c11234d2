#!/usr/bin/env bash
# A program's real X window (Xvfb) resized as a person resizes it: the figure
# keeps its proportions (tests/support/resize_figure.sh), and in viewer mode (a
# file named) the status line stays at the window's foot. Measured on captures
# of the window. Exits 77 (skipped) without Xvfb, xdotool or ImageMagick.
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
wid=$(find_window "VX330")
[ -n "$wid" ] || { echo "FAIL: no window"; cat "$err"; kill "$app"; exit 1; }
xdotool windowfocus --sync "$wid"
lines() { { wc -l <"$trace"; } 2>/dev/null || echo 0; }
frames() { local n i; n=$(lines); for i in $(seq 600); do [ "$(lines)" -ge $((n + $1)) ] && return; sleep 0.05; done; }
xdotool key s; frames 5  # the standing pose

# figure W H NAME: resizes the client area to W x H, captures the window and
# measures the figure.
figure() {
    xdotool windowsize "$wid" "$1" "$2"; sleep 0.3; frames 5
    import -window "$wid" "$work/$3.png"
    read -r ww wh < <(identify -format '%w %h' "$work/$3.png")
    [ "$ww" -eq "$1" ] && [ "$wh" -eq "$2" ] || fail "$3: the window is ${ww}x$wh, not $1x$2"
    measure_figure "$work/$3.png"
    echo "$3: window ${ww}x$wh, figure ${fw}x$fh"
}
source "$(dirname "$0")/../support/resize_figure.sh"
check_resizes 484 461

xdotool windowclose "$wid"
wait "$app"; status=$?
[ "$status" -eq 0 ] || fail "the run ended with status $status"

# white() FILE X Y W H: how many white pixels the region holds.
white() {
    convert "$1" -crop "$4x$5+$2+$3" +repage -fill black +opaque white -fill white -opaque white \
        -format '%[fx:round(mean*w*h)]' info:
}
rm -f "$trace"
timeout 120 "$exe" --data "$data" --trace "$trace" "$data/walk.smd" 2>>"$err" &
app=$!
wid=$(find_window "VX330")
[ -n "$wid" ] || { echo "FAIL: no viewer window"; cat "$err"; kill "$app"; exit 1; }
frames 5
figure 484 800 viewer
# Left of the figure: the status line's first letters in the last 30 rows, and
# nothing where it stood in the window's first size.
foot=$(white "$work/viewer.png" 0 770 120 30); old=$(white "$work/viewer.png" 0 425 120 36)
echo "viewer at 484x800: $foot white pixels at the foot, $old at the old height"
[ "$foot" -gt 20 ] && [ "$old" -eq 0 ] || fail "the status line is not at the foot of the window"
xdotool windowclose "$wid"
wait "$app" || fail "the viewer run ended with status $?"
[ "$failures" -eq 0 ] || { cat "$err"; exit 1; }
echo "ok: a resized window keeps the picture's proportions, drawn at its own size"
