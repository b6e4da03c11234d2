// CPU time of one articulated frame on the recording backend (no GPU): cursor,
// frame count, clip clock, the per-bone strips with their buffer uploads and
// draw calls, the overlay and present. The frame with help shown (no skeleton)
// is the baseline the skeleton's cost is read against.
#include <benchmark/benchmark.h>

#include "apps/articulated/articulated.h"
#include "bench/recording_start.h"
#include "model/smd.h"
#include "shell/scene.h"
#include "shell/shell.h"

namespace {

// Brings the program to its first frame with `clip` loaded from the data folder
// (our character), or returns false.
bool startArticulated(const char* clip) {
    resetArticulated();
    if (!startOnRecording(kArticulatedProgram)) return false;
    if (clip != nullptr) loadSmd(articulated.currentClip, clip);
    return !articulated.currentClip.bones.empty();
}

void runFrames(benchmark::State& state, bool interpolate, bool help, const char* clip) {
    if (!startArticulated(clip)) {
        state.SkipWithError("cannot load the character from " ARTIC_DATA_DIR);
        return;
    }
    articulated.clock.interpolate = interpolate;
    shell.helpVisible = help;
    for (auto _ : state) {
        programFrame();
    }
    state.counters["bones"] = static_cast<double>(articulated.currentClip.bones.size());
    finishProgram();
}

void BM_FrameWalkInterpolated(benchmark::State& state) {
    runFrames(state, true, false, nullptr);
}
void BM_FrameWalkStepped(benchmark::State& state) {
    runFrames(state, false, false, nullptr);
}
void BM_FrameRunInterpolated(benchmark::State& state) {
    runFrames(state, true, false, "run.smd");
}
void BM_FrameHelpShown(benchmark::State& state) {
    runFrames(state, true, true, nullptr);
}

BENCHMARK(BM_FrameHelpShown);
BENCHMARK(BM_FrameWalkStepped);
BENCHMARK(BM_FrameWalkInterpolated);
BENCHMARK(BM_FrameRunInterpolated);

}  // namespace

BENCHMARK_MAIN();
