#!/usr/bin/env bash
# A program's window destroyed by another client ends the run with status 0 and
# no fault, whenever it happens:
#  - at the worst moment, deterministically: the preloaded shim has another
#    client destroy the window right before the GL driver's N-th size query of
#    it (the query a frame's present makes), for several N;
#  - at random moments, as `xdotool windowclose` (a window manager's kill) does.
# With WM=openbox the same under a window manager. Exits 77 (skipped) without
# Xvfb/xdotool (or openbox when asked for).
#   window_destroyed.sh PROGRAM_EXE DATA_DIR WORK_DIR DESTROY_SHIM [RANDOM_RUNS]
set -uo pipefail
exe="$1"; data="$2"; work="$3"; shim="$4"; runs="${5:-5}"
source "$(dirname "$0")/../support/xvfb.sh" "$work"
err="$work/stderr.txt"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Queries 1 and 2 belong to the start-up (SDL's probe and the context), before
# the window is shown; from 3 on each is a frame's present.
for n in 3 5 12; do
    DESTROY_AT_QUERY=$n LD_PRELOAD="$shim" timeout 60 "$exe" --data "$data" 2>"$err"
    status=$?
    grep -q "destroyed at query $n" "$err" ||
        { fail "query $n: the window was never destroyed (status $status)"; cat "$err"; continue; }
    [ "$status" -eq 0 ] || { fail "destroyed before query $n: status $status"; cat "$err"; }
    others=$(grep -v "^destroy_shim:" "$err")
    [ -z "$others" ] || fail "destroyed before query $n: stderr says: $others"
done

for ((i = 0; i < runs; ++i)); do
    timeout 60 "$exe" --data "$data" 2>"$err" &
    app=$!
    wid=$(find_window "VX330")
    [ -n "$wid" ] || { kill "$app" 2>/dev/null; wait "$app"; fail "run $i: no window (status $?)"; cat "$err"; continue; }
    sleep "0.$((RANDOM % 500))"
    xdotool windowclose "$wid"
    wait "$app"; status=$?
    [ "$status" -eq 0 ] || { fail "run $i: closed from outside, status $status"; cat "$err"; }
done
[ "$failures" -eq 0 ] || exit 1
echo "ok: destroyed at 3 chosen queries and $runs random moments${WM:+ under $WM}, every run ended with 0"
