#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz/<area>_fuzz.cpp) with clang into build-fuzz/
# and runs each one for SECONDS (default 20) from its seed corpus in
# fuzz/corpus/<target>/ (when there is one) and its dictionary fuzz/<area>.dict.
# New inputs go to build-fuzz/corpus/<target>/ (the committed seeds stay as they
# are); a crash, leak, timeout or memory blow-up is written to
# build-fuzz/findings/ and fails the run.
#
#   scripts/fuzz.sh                  about a minute in all (CI)
#   scripts/fuzz.sh 1800             half an hour per target
#   scripts/fuzz.sh 600 smd_fuzz     one target
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-20}"
shift || true
scripts/setup.sh fuzz

cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=Debug -DARTIC_WERROR=ON \
    -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_C_COMPILER=clang-14 \
    -DCMAKE_CXX_FLAGS="-O1 -g -fno-omit-frame-pointer" \
    -DARTIC_BUILD_FUZZ=ON -DARTIC_BUILD_APPS=OFF -DARTIC_BUILD_TESTS=OFF \
    -DARTIC_BUILD_BENCH=OFF >/dev/null

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for source in fuzz/*_fuzz.cpp; do
        targets+=("$(basename "$source" .cpp)")
    done
fi
cmake --build build-fuzz --target "${targets[@]}"

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
mkdir -p build-fuzz/findings
status=0
for t in "${targets[@]}"; do
    mkdir -p "build-fuzz/corpus/$t"
    extra=()
    [ -d "fuzz/corpus/$t" ] && extra+=("fuzz/corpus/$t")
    [ -f "fuzz/${t%_fuzz}.dict" ] && extra+=(-dict="fuzz/${t%_fuzz}.dict")
    echo "fuzz.sh: $t for ${seconds}s" >&2
    if ! "build-fuzz/bin/$t" "build-fuzz/corpus/$t" "${extra[@]}" \
        -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2048 -max_len=65536 \
        -artifact_prefix="build-fuzz/findings/$t-" -print_final_stats=1 2>"build-fuzz/$t.log"; then
        status=1
        tail -n 60 "build-fuzz/$t.log" >&2
        echo "fuzz.sh: $t found a fault; the input is in build-fuzz/findings/ (log build-fuzz/$t.log)" >&2
    else
        grep -E '^Done ' "build-fuzz/$t.log" >&2 || true
    fi
done
exit $status
