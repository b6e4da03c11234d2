#!/usr/bin/env bash
# Sets everything up, builds PROGRAM (articulated, pathmove, ikreach, smdinfo) into
# build/ and runs it with the given options from the caller's folder, so the files it
# writes (--capture, --trace) land there. The programs read the project's data/
# unless --data is given. Without a display a program runs headless for three
# seconds and leaves its last frame in ./PROGRAM.png.
#   scripts/run.sh PROGRAM [OPTIONS...]
# `scripts/run.sh web [PORT]` builds the web site instead and serves it on
# 127.0.0.1 (port 8000 by default) with scripts/serve.py.
# ARTIC_BUILD_DIR names another build folder (default: build/ of the project).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${ARTIC_BUILD_DIR:-$root/build}"
[ $# -ge 1 ] || { echo "usage: scripts/run.sh PROGRAM [OPTIONS...]" >&2; exit 2; }
program="$1"; shift
if [ "$program" = web ]; then
    "$root/scripts/web.sh"
    port="${1:-8000}"
    exec python3 "$root/scripts/serve.py" --port "$port" "$root/build-web/site"
fi
case "$program" in
    articulated | pathmove | ikreach | smdinfo) ;;
    *) echo "run.sh: no program '$program' (articulated, pathmove, ikreach, smdinfo or web)" >&2; exit 2 ;;
esac

"$root/scripts/setup.sh"
if [ ! -f "$build/CMakeCache.txt" ]; then
    echo "run.sh: building $program into $build (the first build takes a few minutes)" >&2
    cmake -S "$root" -B "$build" -G Ninja >/dev/null
fi
# Only the program itself; ninja prints a line per step (none when all is built).
cmake --build "$build" --target "$program" | { grep -v '^ninja: no work to do\.$' || true; } >&2
exe="$build/bin/$program"

if [ "$program" = smdinfo ]; then
    if [ $# -eq 0 ]; then
        cd "$root/data"
        set -- *.smd
    fi
    exec "$exe" "$@"
fi

given() {  # is option $1 among the arguments (as "$1 VALUE" or "$1=VALUE")?
    local option="$1" a
    shift
    for a in "$@"; do
        case "$a" in "$option" | "$option"=*) return 0 ;; esac
    done
    return 1
}
given --data "$@" || set -- --data "$root/data" "$@"
if given --headless "$@" || given --help "$@" || given -h "$@" || given --version "$@"; then
    exec "$exe" "$@"
fi

# No display: three seconds of the program's virtual clock (16 ms a frame) without
# a window, and its last frame as a picture. $1 says why, the rest are the options.
headless() {
    local why="$1" extra=(--headless) picture=""
    shift
    given --frames "$@" || given --script "$@" || extra+=(--frames 188)
    given --capture "$@" || { picture="$program.png"; extra+=(--capture "$picture"); }
    local status=0
    "$exe" "$@" "${extra[@]}" || status=$?
    if [ -n "$picture" ] && [ -f "$picture" ]; then
        echo "$why, so $program ran for three seconds without a window and saved" \
             "its last frame as $PWD/$picture; on a desktop, the same command opens the window."
    fi
    return $status
}
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    headless "No display here" "$@"
    exit
fi

# A display is named; if the window cannot open there after all, as headless. The
# program's stderr is shown as it comes and kept to see why it stopped.
log="$(mktemp)"
trap 'rm -f "$log"' EXIT
status=0
"$exe" "$@" 2> >(tee "$log" >&2) || status=$?
wait  # for tee
if [ $status -eq 1 ] && grep -q 'cannot open a window' "$log"; then
    headless "The window could not open" "$@"
    exit
fi
exit $status
