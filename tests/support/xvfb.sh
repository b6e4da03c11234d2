# Sourced by the real-window tests: skips (exit 77) without Xvfb or xdotool,
# starts Xvfb on a free display (screen XVFB_SCREEN, default 1024x768x24), exports DISPLAY and SDL_VIDEODRIVER=x11 (so a
# missing display fails loudly) and stops the server when the test ends. With
# WM=openbox in the environment the display gets that window manager too (as
# people have one), running before the test goes on; skipped without it.
#   source xvfb.sh WORK_DIR
for tool in Xvfb xdotool xwininfo ${WM:+$WM xprop}; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed (scripts/setup.sh)"; exit 77; }
done
xvfb_work="$1"
mkdir -p "$xvfb_work"
# Xvfb picks a free display itself and names it once it accepts connections:
# no race with another server starting beside it. The last run's file goes
# first: the server's shell opens (and empties) it only when it is scheduled,
# and until then the loop below read the old server's number.
rm -f "$xvfb_work/display"
Xvfb -displayfd 3 -noreset -screen 0 "${XVFB_SCREEN:-1024x768x24}" -nolisten tcp 3>"$xvfb_work/display" \
    >"$xvfb_work/xvfb.log" 2>&1 &
xvfb=$!
display=""
for _ in $(seq 300); do
    read -r n <"$xvfb_work/display" 2>/dev/null && [ -n "$n" ] && { display=":$n"; break; }
    kill -0 "$xvfb" 2>/dev/null || break
    sleep 0.1
done
[ -n "$display" ] || { echo "FAIL: could not start Xvfb"; cat "$xvfb_work/xvfb.log"; kill "$xvfb" 2>/dev/null; exit 1; }
wm_pid=""
stop_xvfb() {
    [ -n "$wm_pid" ] && { kill "$wm_pid" 2>/dev/null; wait "$wm_pid" 2>/dev/null; }
    kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null
}
trap stop_xvfb EXIT
export DISPLAY="$display" SDL_VIDEODRIVER=x11
if [ -n "${WM:-}" ]; then
    "$WM" >"$xvfb_work/wm.log" 2>&1 &
    wm_pid=$!
    # Running once it has announced itself on the root window.
    for _ in $(seq 300); do
        xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
        kill -0 "$wm_pid" 2>/dev/null || { echo "FAIL: $WM ended"; cat "$xvfb_work/wm.log"; exit 1; }
        sleep 0.1
    done
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" ||
        { echo "FAIL: $WM did not start"; cat "$xvfb_work/wm.log"; exit 1; }
fi
# find_window NAME: prints the id of the first shown window whose name matches,
# looking again while none does (at most about 30 s); nothing when none came.
# (xdotool's --sync ends with an X error when a window vanishes mid-search.)
find_window() {
    local wid="" end=$((SECONDS + 30))
    while [ -z "$wid" ] && [ "$SECONDS" -lt "$end" ]; do
        wid=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1)
        [ -n "$wid" ] || sleep 0.1
    done
    echo "$wid"
}
# client_origin WID: sets X and Y to the screen position of the window's client
# area (under a window manager xdotool's geometry is off by the frame).
client_origin() {
    eval "$(xwininfo -id "$1" | awk '/Absolute upper-left X/ { print "X=" $NF }
                                     /Absolute upper-left Y/ { print "Y=" $NF }')"
}
