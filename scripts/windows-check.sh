#!/usr/bin/env bash
# Cross-builds the Windows executables and checks them under Wine (fresh prefix,
# Xvfb display, WINEDEBUG=-all; the prefix and its wineserver are gone at the end):
#  1. d3dx_check: our matrix operations against the Direct3D 9 utility library's;
#  2. makechar and smdinfo: the character files and their dumps equal the Linux ones;
#  3. backend_check: the Win32 + Direct3D 9 backend in a scripted headless run,
#     with d3dx9_43.dll and without it; resize_check: its real window resized
#     (back and depth buffer at the client size, what is drawn after the reset),
#     both ways too; tests/win32_d3d9/resize_window.sh: articulated's window
#     resized with xdotool, the figure measured on captures of the window,
#     without a window manager and with openbox;
#  4. each program with each script of tests/backends/scripts/<program>*.script,
#     headless on both backends: the traces must be equal (the logic is shared and
#     the clock virtual; numbers with a fraction to 1e-5 + 1e-6 relative, for the
#     last-bit differences of the two C libraries' sin, cos and acos) and the
#     captures close (compare_runs image: a pixel counts
#     as different only when no pixel within 1 px of it in the other picture is
#     within 48 per channel; at most 0.2 % of the pixels may. Text is drawn by
#     each platform's font rasteriser: in the frame-rate box, and in the boxes a
#     script names ("# text FILE.png LEFT,TOP,RIGHT,BOTTOM"), only the bounding box
#     of the ink is compared, to 4 px).
# Outputs land in build-windows/check/. Prints the time each part took.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
started=$(date +%s)
scripts/setup.sh windows
scripts/build.sh >/dev/null          # the Linux programs and compare_runs
scripts/build-windows.sh >/dev/null
built=$(date +%s)
linux="$root/build/bin"
windows="$root/build-windows/bin"
out="$root/build-windows/check"
rm -rf "$out"
mkdir -p "$out"

source "$root/scripts/lib/wine-env.sh"
trap stop_wine EXIT
start_wine "$out"
prefixed=$(date +%s)

failures=0
fail() { echo "windows-check: FAILED: $*" >&2; failures=$((failures + 1)); }

echo "== d3dx_check"
winrun "$windows/d3dx_check.exe" || fail "d3dx_check"

echo "== makechar and smdinfo"
mkdir -p "$out/data"
winrun "$windows/makechar.exe" "$(winpath "$out/data")" || fail "makechar.exe"
for f in data/*.smd; do
    name=$(basename "$f")
    cmp -s "$f" "$out/data/$name" || fail "makechar.exe wrote a different $name"
    "$linux/smdinfo" --dump "$f" >"$out/$name.linux.dump" 2>&1 || true
    winrun "$windows/smdinfo.exe" --dump "$(winpath "$f")" 2>&1 | tr -d '\r' >"$out/$name.windows.dump" || true
    cmp -s "$out/$name.linux.dump" "$out/$name.windows.dump" || fail "smdinfo --dump $name differs"
done
echo "character files and dumps: $(ls data/*.smd | wc -l) compared"

echo "== backend_check"
winrun "$windows/backend_check.exe" "$(winpath "$out")" || fail "backend_check"
# Where d3dx9_43.dll is missing (a stock Windows) the text is the backend's own.
mkdir -p "$out/no-d3dx"
WINEDLLOVERRIDES="$WINEDLLOVERRIDES;d3dx9_43=" winrun "$windows/backend_check.exe" \
    "$(winpath "$out/no-d3dx")" || fail "backend_check without d3dx9_43.dll"

echo "== real windows resized"
wine "$windows/resize_check.exe" "$(winpath "$out")" || fail "resize_check"
WINEDLLOVERRIDES="$WINEDLLOVERRIDES;d3dx9_43=" wine "$windows/resize_check.exe" \
    "$(winpath "$out/no-d3dx")" || fail "resize_check without d3dx9_43.dll"
tests/win32_d3d9/resize_window.sh "$windows/articulated.exe" "$root/data" "$out/resize_window" ||
    fail "resize_window.sh (see $out/resize_window)"
# Again with a window manager, as people have one: Wine's window is then managed.
openbox >"$out/openbox.log" 2>&1 &
wm=$!
for _ in $(seq 300); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
    sleep 0.1
done
if xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"; then
    tests/win32_d3d9/resize_window.sh "$windows/articulated.exe" "$root/data" "$out/resize_window_openbox" ||
        fail "resize_window.sh under openbox (see $out/resize_window_openbox)"
else
    fail "openbox did not start (see $out/openbox.log)"
fi
kill "$wm" 2>/dev/null; wait "$wm" 2>/dev/null || true

echo "== programs: Windows against Linux"
for program in articulated pathmove ikreach; do
    [ -x "$linux/$program" ] && [ -f "$windows/$program.exe" ] || { echo "$program: not built, skipped"; continue; }
    for script in tests/backends/scripts/"$program"*.script; do
        [ -f "$script" ] || continue
        run=$(basename "$script" .script)
        # The first line may hold extra options: "# options: --frames 300".
        options=$(sed -n '1s/^# options://p' "$script")
        mkdir -p "$out/$run/linux" "$out/$run/windows"
        # Each side runs in its own folder: scripted captures name files relative
        # to the folder the program starts in.
        # shellcheck disable=SC2086
        (cd "$out/$run/linux" && "$linux/$program" --headless --data "$root/data" \
            --script "$root/$script" $options --trace trace.jsonl --capture last.png >log 2>&1) \
            || fail "$run: Linux run (see $out/$run/linux/log)"
        t0=$(date +%s%N)
        # shellcheck disable=SC2086
        (cd "$out/$run/windows" && winrun "$windows/$program.exe" --headless \
            --data "$(winpath "$root/data")" --script "$(winpath "$root/$script")" $options \
            --trace trace.jsonl --capture last.png >log 2>&1) \
            || fail "$run: Windows run (see $out/$run/windows/log)"
        t1=$(date +%s%N)
        echo "$run: Windows run $(( (t1 - t0) / 1000000 )) ms"
        # glibc's and mingw-w64's sin, cos and acos round differently in the last
        # bit now and then; the logic is float arithmetic, so such a bit moves a
        # result by a few float ulps and no further. Integers must be equal.
        "$linux/compare_runs" trace "$out/$run/linux/trace.jsonl" "$out/$run/windows/trace.jsonl" \
            --relative 1e-6 --absolute 1e-5 || fail "$run: traces differ"
        for png in "$out/$run/linux/"*.png; do
            name=$(basename "$png")
            if [ ! -f "$out/$run/windows/$name" ]; then fail "$run: no Windows $name"; continue; fi
            printf '%s ' "$name"
            text=(--text 0,2,200,34)  # the frame rate
            for box in $(sed -n "s/^# text $name //p" "$script"); do text+=(--text "$box"); done
            "$linux/compare_runs" image "$png" "$out/$run/windows/$name" "${text[@]}" \
                || fail "$run: $name differs"
        done
    done
done

wineserver -k 2>/dev/null || true
ended=$(date +%s)
echo "windows-check: build $((built - started)) s, Xvfb and Wine prefix $((prefixed - built)) s," \
     "runs $((ended - prefixed)) s, total $((ended - started)) s"
if [ "$failures" -ne 0 ]; then
    echo "windows-check: $failures failure(s)" >&2
    exit 1
fi
echo "windows-check: passed"
