#!/usr/bin/env bash
# A program on a scaled X11 desktop (Xft.dpi 192, as a desktop at scale 2 sets
# it): the window opens at twice its size, the frame-rate text is twice as tall
# as at 96 dpi, and a slow left drag turns the eye by 1/300 rad per desktop
# pixel (two screen pixels), within 5 %. Exits 77 (skipped) without Xvfb,
# xdotool, xrdb or ImageMagick.
#   scaled_desktop.sh PROGRAM_EXE DATA_DIR WORK_DIR
set -uo pipefail
exe="$1"; data="$2"; work="$3"
for tool in xrdb import; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed (scripts/setup.sh)"; exit 77; }
done
XVFB_SCREEN=1400x1100x24 source "$(dirname "$0")/../support/xvfb.sh" "$work"
trace="$work/trace.jsonl"; err="$work/stderr.txt"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
lines() { { wc -l <"$trace"; } 2>/dev/null || echo 0; }
frames() { local n i; n=$(lines); for i in $(seq 600); do [ "$(lines)" -ge $((n + $1)) ] && return; sleep 0.05; done; }
eye() { tail -n 1 "$trace" | grep -o '"eye":\[[^]]*\]' | tr -d '"eye:[]'; }
settle() { local was i; sleep 0.2; for i in $(seq 100); do was=$(eye); frames 5; [ "$(eye)" = "$was" ] && return; done; }

# start: runs the program, sets wid, ww, wh (the window's size) and th (the
# height of the frame-rate text's white pixels).
start() {
    rm -f "$trace"
    timeout 120 "$exe" --data "$data" --trace "$trace" 2>"$err" &
    app=$!
    wid=$(find_window "VX330")
    [ -n "$wid" ] || { echo "FAIL: no window"; cat "$err"; kill "$app"; exit 1; }
    xdotool windowfocus --sync "$wid"; frames 5
    import -window "$wid" "$work/window.png"
    read -r ww wh < <(identify -format '%w %h' "$work/window.png")
    read -r th < <(convert "$work/window.png" -crop 200x80+0+0 +repage -fill black +opaque white \
        -trim -format '%h' info:)
}
stop() { xdotool windowclose "$wid"; wait "$app"; }

start; w1=$ww; h1=$wh; t1=$th; stop
echo "Xft.dpi: 192" | xrdb -nocpp -merge
start
echo "96 dpi: window ${w1}x$h1, text $t1 px high; 192 dpi: window ${ww}x$wh, text $th px high"
[ "$ww" -eq $((2 * w1)) ] && [ "$wh" -eq $((2 * h1)) ] ||
    fail "at 192 dpi the window is ${ww}x$wh, not twice ${w1}x$h1"
[ "$th" -ge $((2 * t1 - 2)) ] && [ "$th" -le $((2 * t1 + 2)) ] ||
    fail "at 192 dpi the text is $th px high, not twice $t1"

eval "$(xdotool getwindowgeometry --shell "$wid")"
xdotool mousemove $((X + ww / 2)) $((Y + wh / 2)); settle
xdotool mousedown 1; settle
xdotool mousemove_relative 2 2; settle
before=$(eye)
chain=(); j=1
for ((i = 0; i < 100; ++i)); do chain+=(mousemove_relative -- 1 "$j" sleep 0.01); j=$((-j)); done
xdotool "${chain[@]}"; settle
after=$(eye)
xdotool mouseup 1; settle
got=$(awk -v a="$before" -v b="$after" 'BEGIN { split(a, p, ","); split(b, q, ",");
    d = atan2(q[2], q[1]) - atan2(p[2], p[1]); pi = atan2(0, -1);
    if (d > pi) d -= 2 * pi; if (d < -pi) d += 2 * pi; printf "%.6f", d }')
echo "a 100 screen-pixel drag at 192 dpi turned $got rad (want 0.166667)"
awk -v g="$got" 'BEGIN { w = 50 / 300; exit !(g - w < 0.05 * w && w - g < 0.05 * w) }' ||
    fail "a 100 screen-pixel (50 desktop-pixel) drag turned the eye by $got rad, not 0.1667"
stop; status=$?
[ "$status" -eq 0 ] || fail "the run ended with status $status"
[ "$failures" -eq 0 ] || { cat "$err"; exit 1; }
echo "ok: a scaled desktop opens the window at the scaled size, with the camera's rates per desktop pixel"
