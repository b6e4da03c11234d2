// CPU time of one articulated frame on the recording backend (no GPU): cursor,
// frame count, clip clock, the per-bone strips with their buffer uploads and
// draw calls, the overlay and present. The frame with help shown (no skeleton)
// is the baseline the skeleton's cost is read against. The mesh frames add a
// generated reference mesh skinned by a generated animation (64 bones, one to
// four weight links per corner): skinning, shading and the mesh's upload.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "apps/articulated/articulated.h"
#include "bench/recording_start.h"
#include "model/smd.h"
#include "shell/scene.h"
#include "shell/shell.h"
#include "tools/makechar/stress_mesh.h"

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

// The generated reference of 64 bones with `triangles` triangles (one to four
// links per corner), or (triangles 0) a 30-frame animation of the same bones,
// as `makechar --mesh 64 TRIANGLES` writes them; written once per process into
// a temporary file that is removed at exit.
std::string generatedFile(size_t triangles) {
    constexpr int kBones = 64;
    static std::vector<std::filesystem::path> written;
    static const bool removeAtExit = [] {
        std::atexit([] {
            std::error_code ignored;
            for (const auto& path : written) std::filesystem::remove(path, ignored);
        });
        return true;
    }();
    (void)removeAtExit;
    const auto path =
        std::filesystem::temp_directory_path() / ("articulated_bench_" + std::to_string(getpid()) +
                                                  "_" + std::to_string(triangles) + ".smd");
    if (std::filesystem::exists(path)) return path.string();
    std::ofstream out(path, std::ios::binary);
    out << (triangles == 0 ? makechar::stressAnimation(kBones)
                           : makechar::stressReference(kBones, triangles));
    written.push_back(path);
    return path.string();
}

// articulated REF ANIM on the recording backend, drawing the skinned mesh.
void runMeshFrames(benchmark::State& state, size_t triangles) {
    resetArticulated();
    recording::reset();
    recording::controls().keepCalls = false;
    std::string args[] = {"articulated", "--data", ARTIC_DATA_DIR, generatedFile(triangles),
                          generatedFile(0)};
    char* argv[] = {args[0].data(), args[1].data(), args[2].data(), args[3].data(), args[4].data()};
    int exitStatus = 0;
    if (!startProgram(kArticulatedProgram, 5, argv, exitStatus) ||
        articulated.mesh.reference.triangles.size() != triangles) {
        state.SkipWithError("cannot start with the generated mesh");
        return;
    }
    for (auto _ : state) {
        programFrame();
    }
    state.counters["triangles"] = static_cast<double>(triangles);
    state.counters["links"] = static_cast<double>(articulated.mesh.reference.links.size());
    finishProgram();
}

void BM_FrameMesh10k(benchmark::State& state) {
    runMeshFrames(state, 10000);
}
void BM_FrameMesh200k(benchmark::State& state) {
    runMeshFrames(state, 200000);
}

BENCHMARK(BM_FrameHelpShown);
BENCHMARK(BM_FrameWalkStepped);
BENCHMARK(BM_FrameWalkInterpolated);
BENCHMARK(BM_FrameRunInterpolated);
BENCHMARK(BM_FrameMesh10k);
BENCHMARK(BM_FrameMesh200k)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
