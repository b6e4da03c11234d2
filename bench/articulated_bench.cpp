// CPU time of one articulated frame on the recording backend (no GPU): cursor,
// frame count, clip clock, the per-bone strips with their buffer uploads and
// draw calls, the overlay and present. The frame with help shown (no skeleton)
// is the baseline the skeleton's cost is read against. The mesh frames add a
// generated reference mesh skinned by a generated animation (64 bones, one to
// four weight links per corner): skinning, shading and the mesh's upload.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

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

// A reference of 64 bones (a binary tree) with `triangles` triangles around
// its joints, each corner linked to one to four bones, or (triangles 0) a
// 30-frame animation of the same bones; written once per process.
std::string generatedFile(size_t triangles) {
    const auto path =
        std::filesystem::temp_directory_path() / ("articulated_bench_" + std::to_string(getpid()) +
                                                  "_" + std::to_string(triangles) + ".smd");
    if (std::filesystem::exists(path)) return path.string();
    constexpr int kBones = 64;
    std::ofstream out(path);
    out << "version 1\nnodes\n";
    for (int b = 0; b < kBones; ++b)
        out << b << " \"bone" << b << "\" " << (b == 0 ? -1 : (b - 1) / 2) << "\n";
    out << "end\nskeleton\n";
    const int frames = triangles == 0 ? 30 : 1;
    for (int f = 0; f < frames; ++f) {
        out << "time " << f << "\n";
        for (int b = 0; b < kBones; ++b) {
            const double a = triangles == 0 ? 0.3 * std::sin(f * 0.2 + b) : 0.0;
            out << b << " " << (b == 0 ? 0 : (b % 2 ? 2 : -2)) << " 0 " << (b == 0 ? 0 : 4) << " "
                << a << " 0 " << a * 0.5 << "\n";
        }
    }
    out << "end\n";
    if (triangles > 0) {
        std::mt19937 random(7);
        std::uniform_real_distribution<float> offset(-3.0f, 3.0f), weight(0.1f, 1.0f);
        std::uniform_int_distribution<int> bone(0, kBones - 1), links(1, 4);
        out << "triangles\n";
        char line[256];
        for (size_t t = 0; t < triangles; ++t) {
            out << "mat" << t % 3 << "\n";
            const int near = bone(random);
            for (int c = 0; c < 3; ++c) {
                const int n = links(random);
                std::snprintf(line, sizeof line, "%d %f %f %f 0 0 1 0 0 %d", near, offset(random),
                              offset(random), 4.0f * (near % 7) + offset(random), n);
                out << line;
                for (int l = 0; l < n; ++l) out << " " << bone(random) << " " << weight(random);
                out << "\n";
            }
        }
        out << "end\n";
    }
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
