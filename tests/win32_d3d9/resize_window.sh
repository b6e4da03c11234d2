#!/usr/bin/env bash
# The Windows program's real window under Wine (its X11 driver, on the display
# scripts/windows-check.sh set up) resized as a person resizes it: the figure
# (articulated's standing pose, which does not move) keeps its size in pixels
# when the window is twice as wide (it sees more at the sides, nothing is
# stretched), and a taller window draws it larger by the ratio of the heights,
# in proportion. Measured on captures of the X window, so what is checked is
# what the screen shows; the back buffer itself (the capture the run writes at
# its end) must have the window's size too. Needs DISPLAY and WINEPREFIX set and
# ImageMagick.
#   resize_window.sh ARTICULATED_EXE DATA_DIR WORK_DIR
set -uo pipefail
exe="$(realpath "$1")"; data="$(realpath "$2")"; work="$(realpath -m "$3")"
root="$(cd "$(dirname "$0")/../.." && pwd)"
source "$root/scripts/lib/wine-env.sh"  # winpath
for tool in xdotool xwininfo import convert identify; do
    command -v "$tool" >/dev/null || { echo "FAIL: $tool is not installed"; exit 1; }
done
mkdir -p "$work"
trace="$work/trace.jsonl"; err="$work/stderr.txt"
rm -f "$trace" "$work"/*.png
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# The standing pose from the first frame on (a scripted key: no focus needed).
echo "0 key S" >"$work/stand.script"
(cd "$work" && exec timeout 300 wine "$exe" --data "$(winpath "$data")" --trace trace.jsonl \
    --script stand.script --capture last.png) 2>"$err" &
app=$!
wid="" end=$((SECONDS + 120))  # Wine starts slowly on a loaded machine
while [ -z "$wid" ] && [ "$SECONDS" -lt "$end" ]; do
    wid=$(xdotool search --onlyvisible --name "VX330" 2>/dev/null | head -1)
    [ -n "$wid" ] || { kill -0 "$app" 2>/dev/null || break; sleep 0.2; }
done
[ -n "$wid" ] || { echo "FAIL: no window"; tr -d '\r' <"$err"; kill "$app" 2>/dev/null; exit 1; }
lines() { { wc -l <"$trace"; } 2>/dev/null || echo 0; }
# frames N: waits (at most about 60 s) until N more frames have been drawn.
frames() {
    local n i; n=$(lines)
    for i in $(seq 1200); do [ "$(lines)" -ge $((n + $1)) ] && return; sleep 0.05; done
    fail "no frames drawn"
}
# At the screen's top left, so that a wide window fits on the display.
xdotool windowmove --sync "$wid" 0 0
frames 5
read -r w0 h0 < <(xwininfo -id "$wid" | awk '/Width:/ { w = $2 } /Height:/ { h = $2 } END { print w, h }')

# figure W H NAME: sizes the window to W x H (its client area: Wine's X window
# is the client area), captures it and measures the figure.
figure() {
    local i ww=0 wh=0
    xdotool windowsize "$wid" "$1" "$2"
    for i in $(seq 300); do
        read -r ww wh < <(xwininfo -id "$wid" | awk '/Width:/ { w = $2 } /Height:/ { h = $2 } END { print w, h }')
        [ "$ww" -eq "$1" ] && [ "$wh" -eq "$2" ] && break
        sleep 0.1
    done
    frames 5  # drawn at the new size
    import -window "$wid" "$work/$3.png"
    read -r ww wh < <(identify -format '%w %h' "$work/$3.png")
    [ "$ww" -eq "$1" ] && [ "$wh" -eq "$2" ] || fail "$3: the window is ${ww}x$wh, not $1x$2"
    measure_figure "$work/$3.png"
    echo "$3: window ${ww}x$wh, figure ${fw}x$fh"
}
source "$root/tests/support/resize_figure.sh"
check_resizes "$w0" "$h0"

# Escape ends the run, which writes the last frame drawn: the back buffer,
# at the window's size.
xdotool windowfocus --sync "$wid"
xdotool key Escape
for _ in $(seq 600); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app" 2>/dev/null && { fail "Escape did not end the run"; kill "$app"; }
wait "$app"; status=$?
[ "$status" -eq 0 ] || fail "the run ended with status $status"
if [ -f "$work/last.png" ]; then
    size=$(identify -format '%wx%h' "$work/last.png")
    [ "$size" = "${w0}x$tall" ] || fail "the back buffer is $size, not the window's ${w0}x$tall"
else
    fail "no capture written at the end"
fi
[ "$failures" -eq 0 ] || { tr -d '\r' <"$err"; exit 1; }
echo "ok: the resized window is drawn at its own size, the picture in proportion"
