#!/usr/bin/env bash
# Builds the benchmarks and the programs (Release, into build-bench/) and runs
# them: the SMD reader against std::ifstream >> and the assimp importer, one
# frame's CPU time of each program on the recording backend (no GPU), articulated's
# frame with a skinned mesh of 10 000 and 200 000 triangles, pathmove's
# phase-change frames next to its ordinary frame, frames per second of each
# program headless (offscreen, llvmpipe) and each program's peak resident memory
# in that run. Ends with one table of the figures. Every ratio comes from one
# benchmark run; frame times are medians of repetitions, in CPU time (the machine
# may be shared).
#   scripts/bench.sh [FRAMES]   (headless frames per program, default 3000)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
frames="${1:-3000}"
build="$root/build-bench"
out="$build/results"

"$root/scripts/setup.sh" bench
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DARTIC_BUILD_BENCH=ON \
    -DARTIC_BUILD_TESTS=OFF -DARTIC_BUILD_APPS=ON >/dev/null
cmake --build "$build" -j2
mkdir -p "$out"

# Runs one benchmark program, printing its console report and keeping its JSON.
run_bench() {
    local name="$1"
    shift
    echo "== $name"
    "$build/bin/$name" --benchmark_out="$out/$name.json" --benchmark_out_format=json "$@"
}
# Repetitions of the benchmarks one program compares run in random order, so
# that a shared host's slow and fast spells fall on all of them alike.
interleave=--benchmark_enable_random_interleaving=true
frame_flags=(--benchmark_repetitions=5 --benchmark_report_aggregates_only=true "$interleave")
run_bench smd_bench "$interleave"
run_bench articulated_bench "${frame_flags[@]}"
run_bench pathmove_bench "${frame_flags[@]}"
run_bench ikreach_bench "${frame_flags[@]}"

# The median CPU time of a benchmark, in microseconds.
median_us() {
    jq -r --arg n "$2" '[.benchmarks[] | select((.run_name | sub("/repeats:[0-9]+$"; "")) == $n and .aggregate_name == "median")][0]
        | if . == null then "n/a" else
            (.cpu_time * ({"ns": 0.001, "us": 1, "ms": 1000, "s": 1000000}[.time_unit]))
            | . * 10 | round / 10 end' "$out/$1.json"
}
# The median throughput of a reader benchmark, in MB/s.
median_mbs() {
    jq -r --arg n "$2" '[.benchmarks[] | select((.run_name | sub("/repeats:[0-9]+$"; "")) == $n and .aggregate_name == "median")][0]
        | if . == null then "n/a" else .bytes_per_second / 1e6 | round end' "$out/smd_bench.json"
}
ratio() {
    awk -v a="$1" -v b="$2" 'BEGIN { if (a + 0 > 0 && b + 0 > 0) printf "%.2f", a / b; else printf "n/a" }'
}
# Microseconds as milliseconds with DIGITS decimals.
in_ms() {
    awk -v a="$1" -v d="$2" 'BEGIN { if (a + 0 > 0) printf "%.*f", d, a / 1000; else printf "n/a" }'
}

# Headless frames per second and the peak resident set (VmHWM) of the same run.
declare -A fps peak
for program in articulated pathmove ikreach; do
    exe="$build/bin/$program"
    if [ ! -x "$exe" ]; then
        fps[$program]="n/a (no $program executable: needs the SDL2/GL backend)"
        peak[$program]="n/a"
        continue
    fi
    echo "== $program headless, $frames frames"
    start=$(date +%s.%N)
    if ! /usr/bin/time -f "%M" -o "$out/$program.time" \
        "$exe" --headless --data "$root/data" --frames "$frames" >/dev/null; then
        fps[$program]="n/a (the run failed)"
        peak[$program]="n/a"
        continue
    fi
    end=$(date +%s.%N)
    fps[$program]=$(awk -v f="$frames" -v s="$start" -v e="$end" 'BEGIN { printf "%.0f", f / (e - s) }')
    peak[$program]=$(awk '{ v = $1 } END { printf "%.1f", v / 1024 }' "$out/$program.time")
done

large_ours=$(median_mbs smd_bench BM_loadSmd/1)
large_ifs=$(median_mbs smd_bench BM_ifstream/1)
large_assimp=$(median_mbs smd_bench BM_assimp/1)
walk_ours=$(median_mbs smd_bench BM_loadSmd/0)
walk_ifs=$(median_mbs smd_bench BM_ifstream/0)
walk_assimp=$(median_mbs smd_bench BM_assimp/0)
art=$(median_us articulated_bench BM_FrameWalkInterpolated)
mesh10k=$(median_us articulated_bench BM_FrameMesh10k)
mesh200k=$(median_us articulated_bench BM_FrameMesh200k)
path=$(median_us pathmove_bench BM_PathmoveFrameCruising)
torun=$(median_us pathmove_bench BM_PathmoveFrameToRun)
towalk=$(median_us pathmove_bench BM_PathmoveFrameToWalk)
newpass=$(median_us pathmove_bench BM_PathmoveFrameNewPass)
idle=$(median_us ikreach_bench BM_IkreachFrameIdle)
walking=$(median_us ikreach_bench BM_IkreachFrameWalking)
arrival=$(median_us ikreach_bench BM_IkreachFrameArrival)
blending=$(median_us ikreach_bench BM_IkreachFrameBlending)

echo
echo "| measure | result |"
echo "|---|---|"
echo "| SMD reader, 12 MB clip with mesh | $large_ours MB/s: $(ratio "$large_ours" "$large_assimp") x assimp ($large_assimp MB/s), $(ratio "$large_ours" "$large_ifs") x ifstream >> ($large_ifs MB/s) |"
echo "| SMD reader, walk-sized clip | $walk_ours MB/s: $(ratio "$walk_ours" "$walk_assimp") x assimp ($walk_assimp MB/s), $(ratio "$walk_ours" "$walk_ifs") x ifstream >> ($walk_ifs MB/s) |"
echo "| articulated, one frame's CPU (walk, interpolated) | $art µs |"
echo "| pathmove, one frame's CPU (cruising, interpolated) | $path µs |"
echo "| articulated with a skinned mesh, one frame's CPU (10 000 triangles, 1 to 4 links per corner, 64 bones, interpolated): skin, shade, upload, figure | $(in_ms "$mesh10k" 3) ms, $(ratio "$mesh10k" "$art") x the walk frame ($art µs in the same run) |"
echo "| the same with 200 000 triangles | $(in_ms "$mesh200k" 1) ms |"
slowest=$(printf '%s\n' "$torun" "$towalk" "$newpass" | sort -g | tail -1)
echo "| pathmove, phase-change frame (reads the clip file) | to run $torun µs, to walk $towalk µs, new pass $newpass µs (slowest $(ratio "$slowest" "$path") x the cruising frame) |"
echo "| ikreach, one frame's CPU | idle $idle µs, walking $walking µs, arrival (solve) $arrival µs, blending $blending µs |"
echo "| headless frames per second ($frames frames, start-up included) | articulated ${fps[articulated]}, pathmove ${fps[pathmove]}, ikreach ${fps[ikreach]} |"
echo "| peak resident memory, headless run | articulated ${peak[articulated]} MB, pathmove ${peak[pathmove]} MB, ikreach ${peak[ikreach]} MB |"
