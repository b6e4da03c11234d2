#!/usr/bin/env bash
# A program left alone in a real X window (Xvfb: no vsync, software renderer)
# draws no faster than the display refreshes and costs little CPU; minimised
# (under a window manager) or hidden (without one) it draws nothing and sleeps;
# shown again it draws again. CPU time comes from /proc/PID/stat, so a busy
# machine can only make the figures smaller: the bounds catch a spinning loop
# whenever the machine leaves it room to spin.
#   idle_cpu.sh PROGRAM_EXE DATA_DIR WORK_DIR
set -uo pipefail
exe="$1"; data="$2"; work="$3"
source "$(dirname "$0")/../support/xvfb.sh" "$work"
trace="$work/trace.jsonl"; err="$work/stderr.txt"
rm -f "$trace"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

timeout 120 "$exe" --data "$data" --trace "$trace" 2>"$err" &
app=$!
wid=$(find_window "VX330")
[ -n "$wid" ] || { echo "FAIL: no window"; cat "$err"; kill "$app"; exit 1; }

pid=$(pgrep -P "$app" | head -1)  # the program itself, not timeout
[ -n "$pid" ] || { echo "FAIL: no program process"; kill "$app"; exit 1; }
frames() { wc -l <"$trace"; }
# cpu_ticks: user + system time of the program so far (all its threads), in clock ticks.
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$pid/stat"; }
# measure SECONDS: sets cpu (percent of one core) and fps over that wall time.
measure() {
    local t0 f0 c0 t1
    t0=$(date +%s.%N); f0=$(frames); c0=$(cpu_ticks)
    sleep "$1"
    t1=$(date +%s.%N)
    cpu=$(awk -v a="$c0" -v b="$(cpu_ticks)" -v t="$(awk -v x="$t0" -v y="$t1" 'BEGIN { print y - x }')" \
        -v hz="$(getconf CLK_TCK)" 'BEGIN { printf "%.1f", 100 * (b - a) / hz / t }')
    fps=$(awk -v a="$f0" -v b="$(frames)" -v x="$t0" -v y="$t1" 'BEGIN { printf "%.1f", (b - a) / (y - x) }')
}
# wait_frames N: until N more frames are traced (at most about 30 s).
wait_frames() {
    local want=$(($(frames) + $1)) end=$((SECONDS + 30))
    while [ "$(frames)" -lt "$want" ] && [ "$SECONDS" -lt "$end" ]; do sleep 0.05; done
    [ "$(frames)" -ge "$want" ]
}

wait_frames 30 || fail "the window drew fewer than 30 frames in 30 s"
measure 3
echo "shown: $cpu % of a core, $fps frames a second"
awk -v c="$cpu" 'BEGIN { exit !(c <= 20) }' || fail "shown and idle it used $cpu % of a core"
awk -v f="$fps" 'BEGIN { exit !(f <= 75) }' || fail "it drew $fps frames a second, more than a display shows"

if [ -n "${WM:-}" ]; then
    xdotool windowminimize --sync "$wid"; how=minimised
else
    xdotool windowunmap --sync "$wid"; how=hidden
fi
# The frames drawn before the program learnt of it end: no new one for 0.5 s.
end=$((SECONDS + 30)); before=-1
while [ "$(frames)" -ne "$before" ] && [ "$SECONDS" -lt "$end" ]; do before=$(frames); sleep 0.5; done
[ "$(frames)" -eq "$before" ] || fail "$how, it kept drawing for 30 s"
before=$(frames)
measure 3
echo "$how: $cpu % of a core, $fps frames a second"
[ "$(frames)" -eq "$before" ] || fail "$how, it drew $(( $(frames) - before )) frames"
awk -v c="$cpu" 'BEGIN { exit !(c <= 2) }' || fail "$how, it used $cpu % of a core"

if [ -n "${WM:-}" ]; then xdotool windowactivate --sync "$wid" 2>/dev/null; else xdotool windowmap --sync "$wid"; fi
wait_frames 10 || fail "shown again, it drew no frames"
xdotool windowclose "$wid"
wait "$app"; status=$?
[ "$status" -eq 0 ] || fail "closing the window ended with status $status"
[ -s "$err" ] && { echo "stderr:"; cat "$err"; }
[ "$failures" -eq 0 ] || exit 1
echo "ok: paced when shown, asleep when $how${WM:+ under $WM}"
