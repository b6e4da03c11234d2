#!/usr/bin/env bash
# Builds the three programs as a static web site in build-web/site/ (index.html,
# articulated.html, pathmove.html, ikreach.html with their .js and .wasm files,
# data/ with the SMD files they share, and a FILE.gz beside each file worth
# compressing), ready to be served by any static file host. A rebuild without
# a change compiles nothing.
#   scripts/web.sh           install what is missing (Debian's emscripten), build
#   scripts/web.sh --test    also run the browser tests (Debian's chromium, node):
#                            each page against the native program, and real input
#   scripts/web.sh --measure also print one frame's CPU time, natively and in the
#                            page, for a headless run of 600 frames of each program,
#                            and of articulated playing a generated skinned mesh
#                            (makechar --mesh: 4 500 triangles and 99 bones, 600
#                            frames; 200 000 triangles and 64 bones, 150 frames),
#                            then the walk and the 4 500-triangle mesh paced by the
#                            browser's animation frames, with the rate kept
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
test=0 measure=0
case "${1:-}" in
    --test) test=1 ;;
    --measure) measure=1 ;;
    "") ;;
    *) echo "usage: scripts/web.sh [--test | --measure]" >&2; exit 2 ;;
esac
scripts/setup.sh web
# Emscripten's tools run on node; one not from Debian needs to be told where
# Debian keeps their JavaScript modules.
export NODE_PATH=/usr/share/nodejs

# The native build: the glyph tool (and, for the tests, the programs to compare with).
# --test registers the browser tests in build/; a plain build leaves that as it was.
site_tests=()
[ $test = 1 ] && site_tests=(-DARTIC_WEB_SITE="$root/build-web/site")
cmake -S . -B build -G Ninja -DARTIC_WERROR=ON "${site_tests[@]}" >/dev/null
cmake --build build --target webglyphs
mkdir -p build-web
build/bin/webglyphs build-web/embedded_font.cpp

emcmake cmake -S . -B build-web -G Ninja -DCMAKE_BUILD_TYPE=Release -DARTIC_WERROR=ON -DARTIC_BUILD_TESTS=OFF \
    -DARTIC_BUILD_BENCH=OFF -DARTIC_WEB_GLYPHS="$root/build-web/embedded_font.cpp" >/dev/null
cmake --build build-web --target articulated pathmove ikreach
# Gone since the pages share one copy of the SMD files.
rm -f build-web/site/*.data build-web/site/*.data.gz
# Precompressed copies for hosts that serve them (scripts/serve.py does).
for file in build-web/site/*.html build-web/site/*.js build-web/site/*.wasm build-web/site/*.css \
    build-web/site/*.svg build-web/site/data/*.smd; do
    if [ "$file" -nt "$file.gz" ]; then gzip -9 -n -k -f "$file"; fi
done
echo "web.sh: site in build-web/site:"
for program in articulated pathmove ikreach; do
    echo "  $program.html: .wasm $(stat -c %s "build-web/site/$program.wasm") bytes," \
         ".js $(stat -c %s "build-web/site/$program.js") bytes"
done
[ $test = 1 ] || [ $measure = 1 ] || exit 0

cmake --build build --target articulated pathmove ikreach compare_runs makechar
if [ $measure = 1 ]; then
    out="$root/build-web/measure"
    rm -rf "$out"
    mkdir -p "$out"
    : >"$out/none.script"
    for program in articulated pathmove ikreach; do
        (cd "$out" && "$root/build/bin/$program" --headless --data "$root/data" --frames 600 \
            --trace "$program.native.jsonl")
        node tests/web/run_page.mjs build-web/site "$program" "$out/none.script" "$out/$program" 600 >/dev/null
        node tests/web/frame_cpu.mjs "$program" "$out/$program.native.jsonl" "$out/$program/trace.jsonl"
    done
    for size in "99 4500 600" "64 200000 150"; do
        read -r bones triangles frames <<<"$size"
        build/bin/makechar --mesh "$bones" "$triangles" "$out"
        name="mesh_${bones}b_${triangles}t"
        files=("$out/stress_${bones}b_${triangles}t.smd" "$out/stress_${bones}b_anim.smd")
        (cd "$out" && "$root/build/bin/articulated" --headless --data "$root/data" --frames "$frames" \
            --trace "$name.native.jsonl" "${files[@]}")
        node tests/web/run_page.mjs build-web/site articulated "$out/none.script" "$out/$name" "$frames" \
            "${files[@]}" >/dev/null
        node tests/web/frame_cpu.mjs "articulated, $triangles triangles, $bones bones" \
            "$out/$name.native.jsonl" "$out/$name/trace.jsonl"
    done
    # As a visitor sees them: one frame per animation frame of the browser.
    PACED=1 node tests/web/run_page.mjs build-web/site articulated "$out/none.script" "$out/paced_walk" 600 \
        >/dev/null
    node tests/web/frame_cpu.mjs "articulated paced" "$out/articulated.native.jsonl" "$out/paced_walk/trace.jsonl"
    PACED=1 node tests/web/run_page.mjs build-web/site articulated "$out/none.script" "$out/paced_mesh" 600 \
        "$out/stress_99b_4500t.smd" "$out/stress_99b_anim.smd" >/dev/null
    node tests/web/frame_cpu.mjs "articulated paced, 4500 triangles, 99 bones" \
        "$out/mesh_99b_4500t.native.jsonl" "$out/paced_mesh/trace.jsonl"
    exit 0
fi
cd build
ctest --output-on-failure -R '^web\.'
