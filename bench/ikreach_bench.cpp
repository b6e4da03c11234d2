// CPU time of one ikreach frame on the recording backend (no GPU), in each state
// of the reaching sequence: idle as at start-up (the path re-planned toward the
// target every frame), walking, the arrival frame (placement and the arm's solve), and the
// blend of the solved pose.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "apps/ikreach/ikreach.h"
#include "bench/recording_start.h"
#include "shell/recording/recording.h"
#include "shell/scene.h"
#include "shell/shell.h"

namespace {

bool startIkreach() {
    resetIkreach();
    if (!startOnRecording(kIkreachProgram)) return false;
    programFrame();
    return !ikreach.poseModel.bones.empty();
}

uint32_t now() {
    return recording::controls().tick;
}

// Walks to the target and arrives, so a solved pose exists.
void arrive() {
    startReach(ikreach.scene, ikreach.sets, now());
    recording::controls().tick += 2001;
    programFrame();
}

// `walked`: the character has walked and arrived once before the timed frames.
template <typename Prepare>
void runFrames(benchmark::State& state, bool walked, Prepare prepare) {
    if (!startIkreach()) {
        state.SkipWithError("cannot load the character from " ARTIC_DATA_DIR);
        return;
    }
    if (walked) arrive();
    for (auto _ : state) {
        prepare();
        programFrame();
    }
    state.counters["bones"] = static_cast<double>(ikreach.poseModel.bones.size());
    finishProgram();
}

void BM_IkreachFrameIdle(benchmark::State& state) {
    runFrames(state, false, [] {});
}
void BM_IkreachFrameWalking(benchmark::State& state) {
    runFrames(state, true, [] {
        ikreach.scene.reachActive = true;
        ikreach.scene.reachDone = false;
        ikreach.scene.reachStartMs = static_cast<double>(now() - 1000);
    });
}
void BM_IkreachFrameArrival(benchmark::State& state) {
    runFrames(state, true, [] { startReach(ikreach.scene, ikreach.sets, now() - 2001); });
}
void BM_IkreachFrameBlending(benchmark::State& state) {
    runFrames(state, true, [] {
        ikreach.scene.reachFinished = true;
        ikreach.scene.reachEndMs = static_cast<double>(now() - 500);
    });
}

BENCHMARK(BM_IkreachFrameIdle);
BENCHMARK(BM_IkreachFrameWalking);
BENCHMARK(BM_IkreachFrameArrival);
BENCHMARK(BM_IkreachFrameBlending);

}  // namespace

BENCHMARK_MAIN();
