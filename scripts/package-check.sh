#!/usr/bin/env bash
# Checks the release packages as a user meets them (scripts/package.sh makes
# them first, reusing build/ and build-windows/):
#  1. the .deb, installed with `apt-get install ./FILE.deb` in a fresh Debian 12
#     root: each program run headless from the home folder (no data files
#     there) must read the installed data, say once where from, and draw what
#     the repository's build draws (trace equal, capture close);
#  2. the zip, unpacked in an empty folder: only the files a user needs, each
#     .exe importing only DLLs that Windows ships; each run there under Wine
#     headless, its trace equal to the Linux one and its capture close; each run
#     again without d3dx9_43.dll (as on a stock Windows), drawing the same
#     figure and its frame-rate text with its own glyphs, saying so once; and
#     one started from another folder, reading the data beside it.
# Captures are compared by compare_runs (text by where its ink is). Outputs land
# in build/package-check/. Needs root (the fresh root). Prints the time each
# part took.
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
cd "$repo"
source scripts/lib/fresh-root.sh
source scripts/lib/wine-env.sh
started=$(date +%s)
last=$started
step() {  # step NAME: prints how long the step before it took
    local now
    now=$(date +%s)
    echo "package-check: $1 took $((now - last)) s"
    last=$now
}
failures=0
fail() { echo "package-check: FAILED: $*" >&2; failures=$((failures + 1)); }

scripts/package.sh >/dev/null
version=$(sed -n 's/^project(articulated_character VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
deb="articulated-character_${version}_amd64.deb"
zip="articulated-character-${version}-windows-x64.zip"
[ -f "dist/$deb" ] && [ -f "dist/$zip" ] || { echo "package-check: no dist/$deb or dist/$zip" >&2; exit 1; }
step "packages"

programs=(articulated pathmove ikreach)
frames=90  # past the first second: the frame-rate text shows a count
out="$repo/build/package-check"
linux="$repo/build/bin"
rm -rf "$out"
mkdir -p "$out/reference"
work="$(mktemp -d /var/tmp/package-check.XXXXXX)"
cleanup() {
    local status=$?
    stop_wine
    if remove_root "$work/root"; then rm -rf "$work"; else status=1; fi
    echo "package-check: total $(($(date +%s) - started)) s"
    exit $status
}
trap cleanup EXIT
trap 'exit 130' INT TERM  # through the EXIT trap

# What the repository's build draws: the reference for both packages.
for p in "${programs[@]}"; do
    (cd "$out/reference" && "$linux/$p" --headless --data "$repo/data" --frames $frames \
        --trace "$p.jsonl" --capture "$p.png" 2>"$p.err") || fail "$p: reference run"
done

# same NAME TRACE CAPTURE: the run agrees with the reference of NAME's program.
same() {
    local name="$1" program="${1%%-*}"
    "$linux/compare_runs" trace "$out/reference/$program.jsonl" "$2" \
        --relative 1e-6 --absolute 1e-5 >"$out/$name.compare" || fail "$name: trace differs"
    "$linux/compare_runs" image "$out/reference/$program.png" "$3" --text 0,2,200,34 \
        >>"$out/$name.compare" || fail "$name: capture differs"
    cat "$out/$name.compare"
}
# once PATTERN FILE: FILE has exactly one line matching PATTERN.
once() { [ "$(grep -c -- "$1" "$2")" = 1 ] || { cat "$2"; fail "$2: not once: $1"; }; }

echo "== $deb on a fresh Debian 12"
make_root "$work/root"
step "making the root"
cp "dist/$deb" "$work/root/tmp/"
in_root "$work/root" "apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq /tmp/$deb >/tmp/apt.log 2>&1" \
    || { cat "$work/root/tmp/apt.log"; fail "apt-get install ./$deb"; }
step "apt-get install"
home="$work/root/root"
for p in "${programs[@]}"; do
    in_root "$work/root" "$p --headless --frames $frames --trace $p.jsonl --capture $p.png 2>$p.err" \
        || fail "$p from the home folder: status $?"
    echo "$p (installed):"
    same "$p-deb" "$home/$p.jsonl" "$home/$p.png"
    once "data files are read from /usr/share/articulated-character$" "$home/$p.err"
    cp "$home/$p.png" "$out/$p-deb.png"
    [ "$(in_root "$work/root" "$p --version")" = "$p $version" ] || fail "$p --version"
    grep -q "^Exec=$p\$" "$work/root/usr/share/applications/articulated-character-$p.desktop" \
        || fail "no desktop entry for $p"
done
remove_root "$work/root" || fail "removing the root"
step "installed programs"

echo "== $zip under Wine"
start_wine "$out/wine"
unpacked="$work/unpacked"
mkdir -p "$unpacked" "$work/elsewhere"
(cd "$unpacked" && cmake -E tar xf "$repo/dist/$zip")
listing="$(cd "$unpacked" && ls | tr '\n' ' ')"
[ "$listing" = "LICENSE README.txt articulated.exe barney.smd ikreach.exe pathmove.exe run.smd walk.smd " ] \
    || fail "the zip holds: $listing"
# DLLs of every Windows (Direct3D 9 included); anything else would have to be shipped.
system_dlls='^(kernel32|user32|gdi32|msvcrt|d3d9|advapi32|shell32|ole32|oleaut32|comdlg32|winspool\.drv)(\.dll)?$'
for p in "${programs[@]}"; do
    headers=$(x86_64-w64-mingw32-objdump -p "$unpacked/$p.exe")
    imports=$(sed -n 's/^\s*DLL Name: //p' <<<"$headers" | tr 'A-Z' 'a-z')
    extra=$(grep -Ev "$system_dlls" <<<"$imports" || true)
    [ -z "$extra" ] || fail "$p.exe imports $extra"
    grep -q 'Subsystem.*(Windows GUI)' <<<"$headers" || fail "$p.exe is not a GUI program"
    echo "$p.exe: a GUI program importing $(tr '\n' ' ' <<<"$imports")"
done
for p in "${programs[@]}"; do
    for d3dx in with without; do
        name="$p-$d3dx-d3dx"
        overrides="$WINEDLLOVERRIDES"
        [ $d3dx = without ] && overrides="$overrides;d3dx9_43="
        (cd "$unpacked" && WINEDLLOVERRIDES="$overrides" winrun "./$p.exe" --headless \
            --frames $frames --trace "$(winpath "$out/$name.jsonl")" \
            --capture "$(winpath "$out/$name.png")" 2>"$out/$name.err") || fail "$name: status $?"
        echo "$p.exe $d3dx d3dx9_43.dll:"
        same "$name" "$out/$name.jsonl" "$out/$name.png"
    done
    once "d3dx9_43.dll is not installed" "$out/$p-without-d3dx.err"
    grep -q "d3dx9_43.dll" "$out/$p-with-d3dx.err" && fail "$p-with-d3dx: $(cat "$out/$p-with-d3dx.err")"
done
# Started from another folder (a shortcut's working directory), a program reads
# the data files beside it.
(cd "$work/elsewhere" && winrun "$unpacked/ikreach.exe" --headless --frames $frames \
    --trace "$(winpath "$out/ikreach-elsewhere.jsonl")" \
    --capture "$(winpath "$out/ikreach-elsewhere.png")" 2>"$out/ikreach-elsewhere.err") \
    || fail "ikreach from another folder: status $?"
echo "ikreach.exe from another folder:"
same ikreach-elsewhere "$out/ikreach-elsewhere.jsonl" "$out/ikreach-elsewhere.png"
once "data files are read from" "$out/ikreach-elsewhere.err"
step "zip under Wine"

if [ "$failures" -ne 0 ]; then
    echo "package-check: $failures failure(s)" >&2
    exit 1
fi
echo "package-check: passed"
