# Sourced by the real-window tests: skips (exit 77) without Xvfb or xdotool,
# starts Xvfb on a free display (screen XVFB_SCREEN, default 1024x768x24), exports DISPLAY and SDL_VIDEODRIVER=x11 (so a
# missing display fails loudly) and stops the server when the test ends.
#   source xvfb.sh WORK_DIR
for tool in Xvfb xdotool; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed (scripts/setup.sh)"; exit 77; }
done
xvfb_work="$1"
mkdir -p "$xvfb_work"
display=""
for n in $(seq 90 130); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 "${XVFB_SCREEN:-1024x768x24}" -nolisten tcp >"$xvfb_work/xvfb.log" 2>&1 &
    xvfb=$!
    for _ in $(seq 50); do
        DISPLAY=":$n" xdotool getdisplaygeometry >/dev/null 2>&1 && { display=":$n"; break; }
        kill -0 "$xvfb" 2>/dev/null || break
        sleep 0.1
    done
    [ -n "$display" ] && break
    kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null
done
[ -n "$display" ] || { echo "FAIL: could not start Xvfb"; cat "$xvfb_work/xvfb.log"; exit 1; }
stop_xvfb() { kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null; }
trap stop_xvfb EXIT
export DISPLAY="$display" SDL_VIDEODRIVER=x11
