#!/usr/bin/env bash
# A program with the orbit camera in a real X window under Xvfb, used as a
# person uses it, through xdotool: slow and fast left drags turn the eye about
# the vertical axis by 1/300 rad per pixel, a slow right drag upwards brings it
# 0.2 units per pixel closer (each within 5 %), the cursor is pulled back to
# the re-centring point during a drag (where it shows when released), it is
# hidden while dragging and shown again after a release outside the window, and a window destroyed by another
# client ends the run with status 0. With WM=openbox the same under a window
# manager. Exits 77 (skipped) without Xvfb/xdotool (or the window manager).
#   real_window.sh PROGRAM_EXE DATA_DIR WORK_DIR CURSOR_PROBE
set -uo pipefail
exe="$1"; data="$2"; work="$3"; probe="$4"
source "$(dirname "$0")/../support/xvfb.sh" "$work"
trace="$work/trace.jsonl"; err="$work/stderr.txt"
rm -f "$trace"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

timeout 120 "$exe" --data "$data" --trace "$trace" 2>"$err" &
app=$!
wid=$(find_window "VX330")
[ -n "$wid" ] || { echo "FAIL: no window"; cat "$err"; kill "$app"; exit 1; }
timeout 30 xdotool windowactivate --sync "$wid" 2>/dev/null || xdotool windowfocus --sync "$wid"
client_origin "$wid"  # X, Y: the client area's origin
# The re-centring point: 250 pixels right of and below the outer window's
# corner, which lies 8 left of and 31 above the client area (a Win32 frame).
cx=$((X - 8 + 250)); cy=$((Y - 31 + 250))

# Waits until three more frames are traced: each frame follows a poll that takes
# every waiting message, so by then the program has seen what was sent before,
# however busy the machine is.
settle() {
    local n; n=$(wc -l <"$trace")
    for _ in $(seq 600); do
        [ "$(wc -l <"$trace")" -ge $((n + 3)) ] && return
        sleep 0.05
    done
    fail "no frame was drawn for 30 s"
}
eye() { tail -n 1 "$trace" | grep -o '"eye":\[[^]]*\]' | tr -d '"eye:[]'; }

# drag BUTTON DX DY STEPS PAUSE: presses BUTTON at the window's centre, makes one
# move (a drag's first move is measured from where the last one ended), then
# moves by DX, DY in STEPS relative moves (STEPS even) with PAUSE seconds
# between them, as a mouse reports a hand's motion. Sets before, after (eyes) and px, py
# (where the cursor shows after the release).
drag() {
    local button=$1 dx=$2 dy=$3 steps=$4 pause=$5 chain=() i
    xdotool mousemove --window "$wid" 242 219; settle
    xdotool mousedown "$button"; settle
    xdotool mousemove_relative 1 1; settle
    before=$(eye)
    # Consecutive moves differ, as a hand's do: each strays one pixel across the
    # drag, alternately to either side, and steps longer than a pixel alternate
    # one pixel longer and shorter. (SDL drops a motion equal to the one before
    # it when the X server stamps both with the same millisecond, as it may on a
    # busy machine.)
    local sx=$((dx / steps)) sy=$((dy / steps)) jx=1 jy=1
    [ "$sx" -ne 0 ] && { [ $((sx * sx)) -gt 1 ] || jx=0; }
    [ "$sy" -ne 0 ] && { [ $((sy * sy)) -gt 1 ] || jy=0; }
    for ((i = 0; i < steps; ++i)); do
        chain+=(mousemove_relative -- $((sx + jx)) $((sy + jy)) sleep "$pause")
        jx=$((-jx)); jy=$((-jy))
    done
    xdotool "${chain[@]}"; settle
    after=$(eye)
    xdotool mouseup "$button"; settle
    eval "$(xdotool getmouselocation --shell | sed 's/^X=/px=/; s/^Y=/py=/')"
}
# within GOT WANT: GOT is WANT within 5 %.
within() { awk -v g="$1" -v w="$2" 'BEGIN { exit !(g - w < 0.05 * (w < 0 ? -w : w) && w - g < 0.05 * (w < 0 ? -w : w)) }'; }
# The eye's turn about Z, in radians, from before to after.
turn() { awk -v a="$before" -v b="$after" 'BEGIN { split(a, p, ","); split(b, q, ",");
    d = atan2(q[2], q[1]) - atan2(p[2], p[1]); pi = atan2(0, -1);
    if (d > pi) d -= 2 * pi; if (d < -pi) d += 2 * pi; printf "%.6f", d }'; }
# How much closer to the target (the origin) the eye came.
closer() { awk -v a="$before" -v b="$after" 'BEGIN { split(a, p, ","); split(b, q, ",");
    printf "%.6f", sqrt(p[1]^2 + p[2]^2 + p[3]^2) - sqrt(q[1]^2 + q[2]^2 + q[3]^2) }'; }

# Slow: 1 px every 10 ms, so every second or third move re-centres the cursor;
# it shows within a few pixels of the re-centring point (25 on a busy machine,
# which hands the program its moves in bursts).
drag 1 100 0 100 0.01
got=$(turn); within "$got" "$(awk 'BEGIN { print 100 / 300 }')" ||
    fail "a slow 100 px left drag turned the eye by $got rad, not 0.333 ($before -> $after)"
[ $(( (px - cx) * (px - cx) + (py - cy) * (py - cy) )) -le 625 ] ||
    fail "after a slow drag the cursor is at ($px, $py), not near the re-centring point ($cx, $cy)"

drag 1 -200 0 20 0.002
got=$(turn); within "$got" "$(awk 'BEGIN { print -200 / 300 }')" ||
    fail "a fast 200 px left drag turned the eye by $got rad, not -0.667 ($before -> $after)"

drag 3 0 -100 100 0.01
got=$(closer); within "$got" 20 ||
    fail "a slow 100 px right drag upwards brought the eye $got units closer, not 20 ($before -> $after)"

# The cursor hides during a drag and shows again after a release outside.
xdotool mousemove --window "$wid" 242 219; settle
xdotool mousedown 1; xdotool mousemove_relative 2 0; settle
[ "$("$probe")" = hidden ] || fail "the cursor is not hidden during a drag"
xdotool mousemove 1000 750; xdotool mouseup 1; settle
xdotool mousemove --window "$wid" 100 100; settle
[ "$("$probe")" = shown ] || fail "the cursor is still hidden after a release outside the window"

# Destroyed by another client (as a window manager's kill): a clean end.
xdotool windowclose "$wid"
wait "$app"; status=$?
[ "$status" -eq 0 ] || fail "closing the window from outside ended with status $status"
[ -s "$err" ] && { echo "stderr:"; cat "$err"; }
[ "$failures" -eq 0 ] || exit 1
echo "ok: drags, cursor and close as a person meets them ($(wc -l <"$trace") frames on $DISPLAY)"
