// Reading speed of the SMD reader against two baselines, measured in one run:
// a plain std::ifstream >> token reader of the same grammar, and (when the
// build found it) a general-purpose model importer library loading the same
// text from memory without post-processing. Inputs are generated here,
// deterministically: a large clip with a mesh (2000 frames of 64 bones, 20000
// triangles, six decimals, about 12 MB) and a walk-sized clip (64 bones, 30
// frames). After the runs the ratios ours/baseline are printed.
#include <benchmark/benchmark.h>

#include <unistd.h>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <utility>

#include "model/smd.h"

#ifdef ARTIC_HAVE_ASSIMP
#include <assimp/cimport.h>
#include <assimp/config.h>
#include <assimp/scene.h>
#endif

namespace {

// A deterministic SMD text: a chain-and-branch skeleton, `frames` poses and
// `triangles` faces, numbers with six decimals as exporters write them.
std::string generateSmd(int bones, int frames, int triangles, uint64_t seed) {
    std::mt19937_64 rng(seed);
    auto uniform = [&](double lo, double hi) {
        return std::uniform_real_distribution<double>(lo, hi)(rng);
    };
    std::string s = "version 1\nnodes\n";
    char line[256];
    for (int i = 0; i < bones; ++i) {
        const int parent = i == 0 ? -1 : (i < 8 ? i - 1 : static_cast<int>(rng() % i));
        std::snprintf(line, sizeof line, "%d \"bone_%02d\" %d\n", i, i, parent);
        s += line;
    }
    s += "end\nskeleton\n";
    std::vector<double> base(static_cast<size_t>(bones) * 6);
    for (double& v : base) v = uniform(-20.0, 20.0);
    for (int f = 0; f < frames; ++f) {
        std::snprintf(line, sizeof line, "time %d\n", f);
        s += line;
        for (int b = 0; b < bones; ++b) {
            const double* k = &base[static_cast<size_t>(b) * 6];
            std::snprintf(line, sizeof line, "%d %.6f %.6f %.6f %.6f %.6f %.6f\n", b, k[0], k[1],
                          k[2], uniform(-3.14159, 3.14159), uniform(-3.14159, 3.14159),
                          uniform(-3.14159, 3.14159));
            s += line;
        }
    }
    s += "end\ntriangles\n";
    for (int t = 0; t < triangles; ++t) {
        s += t % 3 ? "skin.bmp\n" : "cloth.bmp\n";
        for (int c = 0; c < 3; ++c) {
            std::snprintf(line, sizeof line, "%d %.6f %.6f %.6f %.6f %.6f %.6f %.6f %.6f\n",
                          static_cast<int>(rng() % bones), uniform(-40, 40), uniform(-40, 40),
                          uniform(-40, 40), uniform(-1, 1), uniform(-1, 1), uniform(-1, 1),
                          uniform(0, 1), uniform(0, 1));
            s += line;
        }
    }
    s += "end\n";
    return s;
}

struct Input {
    std::string text;
    std::string path;
};

const Input& input(bool large) {
    static std::map<bool, Input> inputs;
    auto it = inputs.find(large);
    if (it != inputs.end()) return it->second;
    Input in;
    in.text = large ? generateSmd(64, 2000, 20000, 1) : generateSmd(64, 30, 0, 2);
    in.path = (std::filesystem::temp_directory_path() /
               ("smd_bench_" + std::to_string(::getpid()) + (large ? "_large.smd" : "_walk.smd")))
                  .string();
    std::ofstream(in.path, std::ios::binary) << in.text;
    return inputs.emplace(large, std::move(in)).first->second;
}

// The baseline: the reading steps as written, one stream extraction per token.
void loadWithIfstream(Model& model, const char* fileName) {
    std::ifstream in(fileName);
    if (!in) return;
    model = Model{};
    std::string word;
    if (!std::getline(in, word)) return;
    if (!word.empty() && word.back() == '\r') word.pop_back();
    auto is = [](const std::string& w, const char* k) {
        if (w.size() != std::strlen(k)) return false;
        for (size_t i = 0; i < w.size(); ++i)
            if (std::tolower(static_cast<unsigned char>(w[i])) != k[i]) return false;
        return true;
    };
    if (!is(word, "version 1")) return;
    while (in >> word) {
        if (is(word, "nodes")) {
            while (in >> word && !is(word, "end")) {
                Bone b;
                char quote;
                std::string name;
                in >> quote;
                std::getline(in, name, '"');
                in >> b.parent;
                if (!in) return;
                std::snprintf(b.name, sizeof b.name, "%s", name.c_str());
                model.bones.push_back(b);
            }
        } else if (is(word, "skeleton")) {
            if (!(in >> word >> word >> word)) return;
            while (!is(word, "end")) {
                Frame frame;
                while (!is(word, "time") && !is(word, "end")) {
                    BoneKey k;
                    if (!(in >> k.x >> k.y >> k.z >> k.rx >> k.ry >> k.rz >> word)) return;
                    frame.push_back(k);
                }
                if (is(word, "time") && !(in >> word >> word)) return;
                model.frames.push_back(std::move(frame));
            }
        } else if (is(word, "triangles")) {
            while (in >> word && !is(word, "end")) {
                Triangle t;
                std::snprintf(t.material, sizeof t.material, "%s", word.c_str());
                for (MeshVertex& c : t.corners)
                    in >> c.bone >> c.px >> c.py >> c.pz >> c.nx >> c.ny >> c.nz >> c.u >> c.v;
                if (!in) return;
                model.triangles.push_back(t);
            }
        } else {
            return;
        }
    }
}

void BM_loadSmd(benchmark::State& state) {
    const Input& in = input(state.range(0) != 0);
    Model model;
    for (auto _ : state) {
        SmdLoadResult r = loadSmd(model, in.path.c_str());
        benchmark::DoNotOptimize(r);
        if (r.status != SmdStatus::Loaded) state.SkipWithError("load failed");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.text.size()));
}

void BM_loadSmdFromMemory(benchmark::State& state) {
    const Input& in = input(state.range(0) != 0);
    Model model;
    for (auto _ : state) {
        SmdLoadResult r = loadSmdFromMemory(model, in.text);
        benchmark::DoNotOptimize(r);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.text.size()));
}

void BM_ifstream(benchmark::State& state) {
    const Input& in = input(state.range(0) != 0);
    Model model;
    for (auto _ : state) {
        loadWithIfstream(model, in.path.c_str());
        benchmark::DoNotOptimize(model.frames.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.text.size()));
}

#ifdef ARTIC_HAVE_ASSIMP
// The importer's own reading only: no post-processing steps, and its search
// for further animation files named in the text switched off (it would read
// every line as a file name and allocate without bound on a large clip).
void BM_assimp(benchmark::State& state) {
    const Input& in = input(state.range(0) != 0);
    aiPropertyStore* properties = aiCreatePropertyStore();
    aiSetImportPropertyInteger(properties, AI_CONFIG_IMPORT_SMD_LOAD_ANIMATION_LIST, 0);
    for (auto _ : state) {
        const aiScene* scene = aiImportFileFromMemoryWithProperties(
            in.text.data(), static_cast<unsigned>(in.text.size()), 0, "smd", properties);
        if (!scene) state.SkipWithError(aiGetErrorString());
        benchmark::DoNotOptimize(scene);
        aiReleaseImport(scene);
    }
    aiReleasePropertyStore(properties);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.text.size()));
}
#endif

// Arguments: 1 = the large clip with mesh, 0 = the walk-sized clip. Each is
// repeated and its median kept: the machine is shared and single runs vary.
#define SMD_BENCH(function)             \
    BENCHMARK(function)                 \
        ->Arg(1)                        \
        ->Arg(0)                        \
        ->Unit(benchmark::kMillisecond) \
        ->Repetitions(5)                \
        ->ReportAggregatesOnly(true)
SMD_BENCH(BM_loadSmd);
SMD_BENCH(BM_loadSmdFromMemory);
SMD_BENCH(BM_ifstream);
#ifdef ARTIC_HAVE_ASSIMP
SMD_BENCH(BM_assimp);
#endif

// Keeps each run's throughput to print the ratios at the end.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            auto it = r.counters.find("bytes_per_second");
            if (it == r.counters.end() || r.error_occurred) continue;
            // The median of the repetitions, or the single run without them.
            if (r.run_type == Run::RT_Aggregate && r.aggregate_name != "median") continue;
            speed_[r.run_name.function_name + "/" + r.run_name.args] = it->second.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void printRatios() const {
        for (const char* size : {"1", "0"}) {
            const auto ours = speed_.find(std::string("BM_loadSmd/") + size);
            if (ours == speed_.end()) continue;
            std::printf("%s (medians): loadSmd %.0f MB/s",
                        *size == '1' ? "large clip + mesh" : "walk clip", ours->second / 1e6);
            for (const char* other : {"ifstream", "assimp"}) {
                const auto it = speed_.find(std::string("BM_") + other + "/" + size);
                if (it != speed_.end() && it->second > 0)
                    std::printf(", %s %.0f MB/s, ours/%s %.2fx", other, it->second / 1e6, other,
                                ours->second / it->second);
            }
            std::printf("\n");
        }
    }

private:
    std::map<std::string, double> speed_;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatios();
    for (bool large : {true, false}) std::remove(input(large).path.c_str());
    benchmark::Shutdown();
    return 0;
}
