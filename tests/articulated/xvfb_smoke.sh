#!/usr/bin/env bash
# articulated in a real X window under Xvfb, driven by key presses from xdotool:
# F1 shows the help, keypad + speeds the clip up, Escape ends the run with 0.
# Exits 77 (skipped) when Xvfb or xdotool is missing.
#   xvfb_smoke.sh ARTICULATED_EXE DATA_DIR WORK_DIR
set -uo pipefail
exe="$1"; data="$2"; work="$3"
for tool in Xvfb xdotool; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed (scripts/setup.sh)"; exit 77; }
done
mkdir -p "$work"
trace="$work/xvfb_trace.jsonl"
rm -f "$trace"

display=""
for n in $(seq 90 130); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
    xvfb=$!
    for _ in $(seq 50); do
        DISPLAY=":$n" xdotool getdisplaygeometry >/dev/null 2>&1 && { display=":$n"; break; }
        kill -0 "$xvfb" 2>/dev/null || break
        sleep 0.1
    done
    [ -n "$display" ] && break
    kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null
done
[ -n "$display" ] || { echo "FAIL: could not start Xvfb"; cat "$work/xvfb.log"; exit 1; }
cleanup() { kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null; }
trap cleanup EXIT
export DISPLAY="$display" SDL_VIDEODRIVER=x11

timeout 60 "$exe" --data "$data" --trace "$trace" 2>"$work/xvfb_stderr.txt" &
app=$!
wid=$(timeout 20 xdotool search --sync --name "VX330_1: Articulated Model" | head -1)
[ -n "$wid" ] || { echo "FAIL: no window"; cat "$work/xvfb_stderr.txt"; kill "$app"; exit 1; }
xdotool windowfocus --sync "$wid"
sleep 0.3
xdotool key --window "$wid" F1
sleep 0.3
xdotool key --window "$wid" KP_Add
sleep 0.3
xdotool key --window "$wid" Escape
wait "$app"
status=$?
[ "$status" -eq 0 ] || { echo "FAIL: exit status $status"; cat "$work/xvfb_stderr.txt"; exit 1; }
grep -q '"help":true' "$trace" || { echo "FAIL: F1 did not show the help"; exit 1; }
grep -q '"periodMs":295' "$trace" || { echo "FAIL: keypad + did not speed up the clip"; exit 1; }
frames=$(wc -l <"$trace")
echo "ok: $frames frames drawn in a window on $display"
