#!/usr/bin/env bash
# scripts/run.sh without a display, started from the user's own folder:
#  1. with --data relative to that folder: a note on stdout, nothing on stderr, and
#     ./articulated.png, a 484 x 461 picture that is not one flat colour;
#  2. with --capture: the user's file lands in their folder and no picture of ours;
#  3. the program itself: it fails with a command to paste, and that command
#     draws articulated.png into the user's folder; a headless run that keeps
#     nothing says so.
#   run_without_display.sh REPOSITORY BUILD_DIR SCRATCH_DIR
set -euo pipefail
repo="$1" build="$2" out="$3"
command -v identify >/dev/null || { echo "no ImageMagick identify: skipped"; exit 77; }
rm -rf "$out"
mkdir -p "$out/user"
ln -s "$repo/data" "$out/user/data"
run() {
    (cd "$out/user" && env -u DISPLAY -u WAYLAND_DISPLAY ARTIC_BUILD_DIR="$build" \
        "$repo/scripts/run.sh" "$@" >"$out/stdout" 2>"$out/stderr")
}
failed=0
fail() { echo "FAILED: $*"; failed=1; }

run articulated --data data || fail "run.sh articulated --data data: status $?"
cat "$out/stdout"
[ -s "$out/stderr" ] && fail "stderr is not empty: $(cat "$out/stderr")"
grep -q "saved its last frame as $out/user/articulated.png" "$out/stdout" || fail "no note on stdout"
if [ -f "$out/user/articulated.png" ]; then
    read -r width height colours < <(identify -format '%w %h %k\n' "$out/user/articulated.png")
    echo "articulated.png: $width x $height, $colours colours"
    [ "$width x $height" = "484 x 461" ] || fail "articulated.png is $width x $height"
    [ "$colours" -gt 1 ] || fail "articulated.png is one flat colour"
    rm "$out/user/articulated.png"
else
    fail "no articulated.png in the user's folder"
fi

run articulated --frames 5 --capture mine.png || fail "run.sh articulated --capture: status $?"
[ -f "$out/user/mine.png" ] || fail "--capture mine.png did not land in the user's folder"
[ -e "$out/user/articulated.png" ] && fail "articulated.png written although --capture was given"
[ -s "$out/stderr" ] && fail "stderr is not empty: $(cat "$out/stderr")"

exe="$build/bin/articulated"
status=0
(cd "$out/user" && env -u DISPLAY -u WAYLAND_DISPLAY "$exe" --data data 2>"$out/stderr") || status=$?
[ $status -eq 1 ] || fail "articulated without a display: status $status"
suggested="$(sed -n 's/.*to draw a picture instead, run: //p' "$out/stderr")"
echo "suggested: $suggested"
if [ -n "$suggested" ]; then
    (cd "$out/user" && env -u DISPLAY -u WAYLAND_DISPLAY bash -c "$suggested" 2>"$out/stderr") ||
        fail "the suggested command failed: $(cat "$out/stderr")"
    [ -f "$out/user/articulated.png" ] || fail "the suggested command wrote no articulated.png"
else
    fail "no command suggested: $(cat "$out/stderr")"
fi
(cd "$out/user" && "$exe" --headless --data data --frames 3 2>"$out/stderr") ||
    fail "headless run: status $?"
grep -q "drew 3 frames offscreen and kept none" "$out/stderr" ||
    fail "a headless run without outputs said: $(cat "$out/stderr")"
exit $failed
