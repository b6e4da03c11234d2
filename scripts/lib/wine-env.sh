# Sourced by checks that run the Windows programs under Wine: a new Wine prefix
# on an Xvfb display of its own (Direct3D draws through GL on it), without
# Wine's debug output or its Mono and Gecko installer prompts.
#
#   source scripts/lib/wine-env.sh
#   trap stop_wine EXIT
#   start_wine LOG_DIR          # sets DISPLAY, WINEPREFIX, WINEDEBUG, WINEDLLOVERRIDES
#   wine "$(winpath FILE)" ...  # Wine's name of a Linux path
#   winrun EXE ARGS...          # a program's own exit code, however slowly it ends
#
# stop_wine ends the prefix's wineserver and the display and deletes the prefix;
# it is safe to call more than once or after a start that failed.

wine_xvfb_pid=""

start_wine() {
    local logs="$1" _
    mkdir -p "$logs"
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml="
    WINEPREFIX="$(mktemp -d)"
    export WINEPREFIX
    rm -f "$logs/display"
    exec 3>"$logs/display"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >"$logs/xvfb.log" 2>&1 &
    wine_xvfb_pid=$!
    exec 3>&-
    for _ in $(seq 100); do [ -s "$logs/display" ] && break; sleep 0.1; done
    [ -s "$logs/display" ] || { echo "start_wine: Xvfb did not start" >&2; return 1; }
    export DISPLAY=":$(cat "$logs/display")"
    wineboot -i >/dev/null 2>&1 || true
    # Direct3D without its command-stream thread: the programs lock the vertex
    # buffer for every draw call, and each lock would wait for that thread (about
    # ten times slower under llvmpipe).
    wine reg add 'HKCU\Software\Wine\Direct3D' /v csmt /t REG_DWORD /d 0 /f >/dev/null 2>&1
}

stop_wine() {
    [ -n "${WINEPREFIX:-}" ] && { wineserver -k 2>/dev/null || true; }
    [ -n "$wine_xvfb_pid" ] && { kill "$wine_xvfb_pid" 2>/dev/null || true; }
    wine_xvfb_pid=""
    [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ] && rm -rf "$WINEPREFIX"
    return 0
}

# winrun EXE [ARGS...]: runs a Windows program, ending with its exit code. Wine's
# server kills (SIGKILL) a process still there a second after its last thread
# ended; one that tears down Mesa's rasteriser threads on a busy machine takes
# longer, and its own status then reads 137 after a clean end. Started from cmd,
# the status is cmd's: the program's exit code, from a process with nothing slow
# to end. (No argument may hold cmd's & | < > ^ %.)
winrun() {
    local exe="$1"
    shift
    wine cmd /c "$(winpath "$exe")" "$@"
}

# Wine's view of a Linux path (drive Z: is the root in a new prefix).
winpath() { local p; p="$(realpath -m "$1")"; echo "Z:${p//\//\\}"; }
