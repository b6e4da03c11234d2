#!/usr/bin/env bash
# `cmake --install` into a scratch prefix, then each installed program started
# as a user would start it from a menu: in a folder without data files. It must
# read the installed data (the trace shows the character loaded), say so once on
# stderr, still find it after the whole installation is moved, and still prefer
# a file of the working directory.
#   installed_run.sh BUILD_DIR WORK_DIR
set -uo pipefail
build="$1"; work="$2"
rm -rf "$work"
mkdir -p "$work/home"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

cmake --install "$build" --prefix "$work/usr" >"$work/install.log" 2>&1 \
    || { cat "$work/install.log"; echo "FAIL: cmake --install"; exit 1; }
for f in bin/articulated bin/pathmove bin/ikreach bin/smdinfo \
         share/articulated-character/barney.smd share/articulated-character/walk.smd \
         share/articulated-character/run.smd share/doc/articulated-character/LICENSE \
         share/doc/articulated-character/README.md \
         share/doc/articulated-character/docs/usage.md; do
    [ -f "$work/usr/$f" ] || fail "not installed: $f"
done

# Runs PROGRAM from FOLDER with the installation at PREFIX; the character must
# be loaded: a clip with frames, or ikreach's hand drawn.
run() {
    local prefix="$1" folder="$2" program="$3"
    (cd "$folder" && "$prefix/bin/$program" --headless --frames 30 --trace "$program.jsonl" \
        2>"$program.err") || fail "$program from $folder exited with $?"
    local first; first=$(head -n 1 "$folder/$program.jsonl")
    case "$program" in
        ikreach) [[ "$first" == *'"effector":['* ]] || fail "ikreach drew no character: $first" ;;
        *) [[ "$first" =~ \"clip\":\{\"frames\":[1-9] ]] || fail "$program played no clip: $first" ;;
    esac
}
said() { grep -c "data files are read from $1\$" "$2"; }

for program in articulated pathmove ikreach; do
    run "$work/usr" "$work/home" "$program"
    [ "$(said "$work/usr/share/articulated-character" "$work/home/$program.err")" = 1 ] \
        || { cat "$work/home/$program.err"; fail "$program did not say once where it reads"; }
done

# A moved installation finds its own data.
mv "$work/usr" "$work/moved"
run "$work/moved" "$work/home" ikreach
[ "$(said "$work/moved/share/articulated-character" "$work/home/ikreach.err")" = 1 ] \
    || { cat "$work/home/ikreach.err"; fail "the moved ikreach did not read its own data"; }

# The working directory comes first: its broken walk.smd is read and reported.
printf 'not an smd file\n' >"$work/home/walk.smd"
(cd "$work/home" && "$work/moved/bin/articulated" --headless --frames 3 2>articulated.err)
grep -q '^walk.smd:1:1: error' "$work/home/articulated.err" \
    || { cat "$work/home/articulated.err"; fail "the working directory's walk.smd was not read first"; }

[ "$failures" -eq 0 ] || exit 1
echo "installed programs: passed"
