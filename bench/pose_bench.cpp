// All bone strips of one drawn frame, interpolation on, for a 64-bone skeleton
// whose deepest chains have 8 links: the chain-by-chain evaluation against the
// frame memo of buildBoneStrip, warm (the clock has not stepped since the last
// drawn frame), after one clock step (one new frame to evaluate) and cold (both
// frames new).
#include <benchmark/benchmark.h>

#include <random>

#include "model/pose.h"

namespace {

constexpr int32_t kBones = 64;
constexpr int32_t kDepth = 8;
constexpr int32_t kFrames = 30;

Model makeClip() {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> angle(-1.5f, 1.5f), length(-10.0f, 10.0f);
    Model m;
    m.bones.resize(kBones);
    std::vector<int32_t> depth(kBones, 0);
    m.bones[0].parent = -1;
    for (int32_t b = 1; b < kBones; ++b) {
        int32_t parent = b - 1;  // a spine of kDepth links first
        if (b > kDepth) {
            do parent = static_cast<int32_t>(rng() % static_cast<uint32_t>(b));
            while (depth[static_cast<size_t>(parent)] >= kDepth);
        }
        m.bones[static_cast<size_t>(b)].parent = parent;
        depth[static_cast<size_t>(b)] = depth[static_cast<size_t>(parent)] + 1;
    }
    for (int32_t f = 0; f < kFrames; ++f) {
        Frame keys(kBones);
        for (BoneKey& k : keys)
            k = {length(rng), length(rng), length(rng), angle(rng), angle(rng), angle(rng)};
        m.frames.push_back(keys);
    }
    return m;
}

struct Arrays {
    LineVertex strip[69], current[69], next[69];
    StripArrays view() { return {strip, 69, current, next, 69}; }
};

template <void (*Build)(const Model&, const ClipClock&, int32_t, const StripArrays&, ChainScratch&)>
void drawFrame(const Model& m, const ClipClock& clock, Arrays& arrays, ChainScratch& scratch) {
    const StripArrays view = arrays.view();
    for (int32_t b = 0; b < kBones; ++b) {
        Build(m, clock, b, view, scratch);
        benchmark::DoNotOptimize(arrays.strip[0]);
    }
}

ClipClock clockAt(int32_t frame) {
    ClipClock clock;
    clock.currentFrame = frame % kFrames;
    clock.nextFrame = (frame + 1) % kFrames;
    clock.elapsedMs = 120;
    return clock;
}

void BM_StripsChainByChain(benchmark::State& state) {
    const Model m = makeClip();
    Arrays arrays;
    ChainScratch scratch;
    const ClipClock clock = clockAt(3);
    for (auto _ : state) drawFrame<buildBoneStripReference>(m, clock, arrays, scratch);
}

void BM_StripsMemoWarm(benchmark::State& state) {
    const Model m = makeClip();
    Arrays arrays;
    ChainScratch scratch;
    const ClipClock clock = clockAt(3);
    for (auto _ : state) drawFrame<buildBoneStrip>(m, clock, arrays, scratch);
}

void BM_StripsMemoAfterStep(benchmark::State& state) {
    const Model m = makeClip();
    Arrays arrays;
    ChainScratch scratch;
    int32_t frame = 0;
    for (auto _ : state) drawFrame<buildBoneStrip>(m, clockAt(frame++), arrays, scratch);
}

void BM_StripsMemoCold(benchmark::State& state) {
    const Model m = makeClip();
    Arrays arrays;
    ChainScratch scratch;
    int32_t frame = 0;
    for (auto _ : state) {
        drawFrame<buildBoneStrip>(m, clockAt(frame), arrays, scratch);
        frame += 2;
    }
}

BENCHMARK(BM_StripsChainByChain);
BENCHMARK(BM_StripsMemoWarm);
BENCHMARK(BM_StripsMemoAfterStep);
BENCHMARK(BM_StripsMemoCold);

}  // namespace

BENCHMARK_MAIN();
