#!/usr/bin/env bash
# articulated in a real X window under Xvfb, driven by key presses from xdotool:
# F1 shows the help, keypad + speeds the clip up, Escape ends the run with 0.
# With WM=openbox the same under a window manager. Exits 77 (skipped) when Xvfb
# or xdotool (or the window manager) is missing.
#   xvfb_smoke.sh ARTICULATED_EXE DATA_DIR WORK_DIR
set -uo pipefail
exe="$1"; data="$2"; work="$3"
source "$(dirname "$0")/../support/xvfb.sh" "$work"
trace="$work/xvfb_trace.jsonl"
rm -f "$trace"

timeout 120 "$exe" --data "$data" --trace "$trace" 2>"$work/xvfb_stderr.txt" &
app=$!
wid=$(find_window "VX330_1: Articulated Model")
[ -n "$wid" ] || { echo "FAIL: no window"; cat "$work/xvfb_stderr.txt"; kill "$app"; exit 1; }
# A window manager may decline to activate it (and xdotool would wait for ever):
# then the focus is given directly.
timeout 30 xdotool windowactivate --sync "$wid" 2>/dev/null || xdotool windowfocus --sync "$wid"
# shows PATTERN: waits until a traced frame matches (at most about 30 s).
shows() {
    for _ in $(seq 600); do
        grep -q "$1" "$trace" 2>/dev/null && return 0
        sleep 0.05
    done
    return 1
}
xdotool key --window "$wid" F1
shows '"help":true' || { echo "FAIL: F1 did not show the help"; exit 1; }
xdotool key --window "$wid" KP_Add
shows '"periodMs":295' || { echo "FAIL: keypad + did not speed up the clip"; exit 1; }
xdotool key --window "$wid" Escape
wait "$app"
status=$?
[ "$status" -eq 0 ] || { echo "FAIL: exit status $status"; cat "$work/xvfb_stderr.txt"; exit 1; }
frames=$(wc -l <"$trace")
echo "ok: $frames frames drawn in a window on $display"
