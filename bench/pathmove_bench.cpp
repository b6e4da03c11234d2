// CPU time of one pathmove frame on the recording backend (no GPU), with
// interpolation on: the frame of a pass in full flight next to the three frames
// of a pass that change the movement's phase and read the phase's clip from
// disk (into the run at t = 0.3, back to walking at t = 0.7, and the start of the
// next pass, which reads the walking clip again).
#include <benchmark/benchmark.h>

#include <cstdint>

#include "apps/pathmove/pathmove.h"
#include "bench/recording_start.h"
#include "shell/recording/recording.h"
#include "shell/scene.h"
#include "shell/shell.h"

namespace {

bool startPathmove() {
    resetPathmove();
    if (!startOnRecording(kPathmoveProgram)) return false;
    pathmove.clock.interpolate = true;
    programFrame();  // starts the first pass
    return !pathmove.currentClip.bones.empty();
}

// Frames in the middle of a pass: the ticks step through the cruising phase
// (2200 to 4744 ms into the pass), so no frame changes the phase.
void BM_PathmoveFrameCruising(benchmark::State& state) {
    if (!startPathmove()) {
        state.SkipWithError("cannot load the character from " ARTIC_DATA_DIR);
        return;
    }
    recording::controls().tick = pathmove.pathStartMs + 2200;
    programFrame();  // enters the cruising phase (reads run.smd once, before timing)
    uint32_t i = 0;
    for (auto _ : state) {
        recording::controls().tick = pathmove.pathStartMs + 2200 + (i++ % 160) * 16;
        programFrame();
    }
    if (pathmove.path.movePhase != kPhaseCruising) state.SkipWithError("left the cruising phase");
    state.counters["bones"] = static_cast<double>(pathmove.currentClip.bones.size());
    finishProgram();
}

// Every timed frame is `msIntoPass` into the current pass, coming from
// `phaseBefore`, so every frame changes the phase and reads the clip file.
void runPhaseChange(benchmark::State& state, int32_t phaseBefore, uint32_t msIntoPass,
                    int32_t phaseAfter) {
    if (!startPathmove()) {
        state.SkipWithError("cannot load the character from " ARTIC_DATA_DIR);
        return;
    }
    int64_t changes = 0;
    for (auto _ : state) {
        pathmove.path.movePhase = phaseBefore;
        recording::controls().tick = pathmove.pathStartMs + msIntoPass;
        programFrame();
        changes += pathmove.path.movePhase == phaseAfter ? 1 : 0;
    }
    if (changes != state.iterations()) state.SkipWithError("a timed frame changed no phase");
    state.counters["bones"] = static_cast<double>(pathmove.currentClip.bones.size());
    finishProgram();
}

void BM_PathmoveFrameToRun(benchmark::State& state) {
    runPhaseChange(state, kPhaseAccelerating, 2101, kPhaseCruising);
}
void BM_PathmoveFrameToWalk(benchmark::State& state) {
    runPhaseChange(state, kPhaseCruising, 4901, kPhaseDecelerating);
}
void BM_PathmoveFrameNewPass(benchmark::State& state) {
    runPhaseChange(state, kPhaseDecelerating, 7001, kPhaseAccelerating);
}

BENCHMARK(BM_PathmoveFrameCruising);
BENCHMARK(BM_PathmoveFrameToRun);
BENCHMARK(BM_PathmoveFrameToWalk);
BENCHMARK(BM_PathmoveFrameNewPass);

}  // namespace

BENCHMARK_MAIN();
