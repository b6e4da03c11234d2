// The programs' output pinned to committed hashes: a change that alters one bit
// of what a program draws or traces fails here.
//
// Every run below is done twice:
//  - the real executable, headless: its trace (each line without "cpuUs") and
//    every PNG its script captures are hashed byte for byte;
//  - the program on the recording backend, with the script's messages posted
//    before the frame at which they fall due: every recorded call (arguments,
//    matrices, text and the vertices each draw reads) is hashed.
// The hashes are compared with tests/golden/expected_hashes.txt.
//
// Regenerating: a change that is meant to alter the output (a fix, a new
// feature) rewrites the file with
//     GOLDEN_UPDATE=1 build/bin/golden_tests
// and its commit message says why the output changed. Look at the new captures
// (GOLDEN_KEEP=1 keeps the scratch folders) before committing the hashes.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "apps/articulated/articulated.h"
#include "apps/ikreach/ikreach.h"
#include "apps/pathmove/pathmove.h"
#include "shell/program_loop.h"
#include "shell/recording/recording.h"
#include "shell/run_options.h"
#include "tests/support/headless_run.h"

namespace {

namespace fs = std::filesystem;

struct GoldenRun {
    const char* name;
    const char* program;
    const char* script;  // under tests/
    const char* options;
};

void PrintTo(const GoldenRun& run, std::ostream* out) {
    *out << run.name;
}

const GoldenRun kRuns[] = {
    {"articulated_session", "articulated", "backends/scripts/articulated.script", "--frames 300"},
    {"pathmove_session", "pathmove", "backends/scripts/pathmove.script", "--frames 480"},
    {"ikreach_session", "ikreach", "backends/scripts/ikreach.script", "--frames 360"},
    {"articulated_clips", "articulated", "golden/scripts/articulated_clips.script",
     "--frames 260 --step 40"},
    {"pathmove_keys", "pathmove", "golden/scripts/pathmove_keys.script", "--frames 400 --step 23"},
    {"ikreach_wrap", "ikreach", "golden/scripts/ikreach_wrap.script",
     "--frames 420 --tick-start 4294966000"},
    {"articulated_mesh", "articulated", "backends/scripts/articulated_mesh.script",
     "--frames 100 {tests}/mesh/data/mesh_ref.smd {tests}/mesh/data/mesh_wave.smd "
     "{tests}/mesh/data/mesh_bend.smd"},
};

// The run's options with "{tests}" standing for the tests folder.
std::string optionsOf(const GoldenRun& run) {
    std::string options = run.options;
    for (size_t at; (at = options.find("{tests}")) != std::string::npos;)
        options.replace(at, 7, TESTS_DIR);
    return options;
}

struct Program {
    const char* exe;
    const ProgramSteps* steps;
    void (*reset)();
};

Program programNamed(const std::string& name) {
    if (name == "articulated") return {ARTICULATED_EXE, &kArticulatedProgram, resetArticulated};
    if (name == "pathmove") return {PATHMOVE_EXE, &kPathmoveProgram, resetPathmove};
    return {IKREACH_EXE, &kIkreachProgram, resetIkreach};
}

// 64-bit FNV-1a.
struct Hash {
    uint64_t h = 0xcbf29ce484222325ull;
    void bytes(const void* data, size_t n) {
        const auto* p = static_cast<const unsigned char*>(data);
        for (size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 0x100000001b3ull;
    }
    template <typename T>
    void value(const T& v) {
        bytes(&v, sizeof v);
    }
    std::string hex() const {
        char s[17];
        std::snprintf(s, sizeof s, "%016llx", static_cast<unsigned long long>(h));
        return s;
    }
};

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// "run item" -> hash.
using Hashes = std::map<std::string, std::string>;

Hashes readHashes(const fs::path& file) {
    Hashes out;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string run, item, hash;
        if (fields >> run >> item >> hash) out[run + " " + item] = hash;
    }
    return out;
}

const fs::path kExpectedFile = fs::path(TESTS_DIR) / "golden" / "expected_hashes.txt";
Hashes& actualHashes() {
    static Hashes h;
    return h;
}

// With GOLDEN_UPDATE set, the hashes of the runs done replace theirs in the file.
class UpdateExpected : public ::testing::Environment {
public:
    void TearDown() override {
        if (std::getenv("GOLDEN_UPDATE") == nullptr || actualHashes().empty()) return;
        Hashes merged = readHashes(kExpectedFile);
        for (const auto& [key, hash] : actualHashes()) merged[key] = hash;
        std::ofstream out(kExpectedFile);
        out << "# run item hash (see tests/golden/golden_test.cpp to regenerate)\n";
        for (const auto& [key, hash] : merged) out << key << ' ' << hash << '\n';
        std::printf("wrote %s\n", kExpectedFile.c_str());
    }
};
const auto* const kUpdate = ::testing::AddGlobalTestEnvironment(new UpdateExpected);

void expectHash(const std::string& run, const std::string& item, const std::string& actual) {
    static const Hashes expected = readHashes(kExpectedFile);
    const std::string key = run + " " + item;
    actualHashes()[key] = actual;
    const auto it = expected.find(key);
    if (it == expected.end()) {
        ADD_FAILURE() << key << ": no expected hash (actual " << actual << ")";
        return;
    }
    EXPECT_EQ(it->second, actual) << key << " differs";
}

std::vector<std::string> splitWords(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> out;
    for (std::string w; in >> w;) out.push_back(w);
    return out;
}

class Golden : public HeadlessRun, public ::testing::WithParamInterface<GoldenRun> {
protected:
    Golden() : HeadlessRun("golden") {}
    void TearDown() override {
        if (std::getenv("GOLDEN_KEEP") == nullptr) HeadlessRun::TearDown();
    }
    std::string script() const { return readFile(fs::path(TESTS_DIR) / GetParam().script); }
};

TEST_P(Golden, HeadlessTraceAndCaptures) {
    const GoldenRun& run = GetParam();
    // Captures land in the scratch folder.
    std::istringstream in(script());
    std::string text;
    std::vector<std::string> captures;
    for (std::string line; std::getline(in, line);) {
        const std::vector<std::string> w = splitWords(line);
        if (w.size() == 3 && w[1] == "capture") {
            captures.push_back(w[2]);
            line = w[0] + " capture " + path(w[2]);
        }
        text += line + "\n";
    }
    ASSERT_FALSE(captures.empty());
    const HeadlessResult r =
        runHeadless(programNamed(run.program).exe, DATA_DIR, text, optionsOf(run));
    ASSERT_EQ(r.status, 0) << r.err;

    std::istringstream trace(readFile(path("trace.jsonl")));
    Hash h;
    size_t lines = 0;
    for (std::string line; std::getline(trace, line); ++lines) {
        const size_t cpu = line.find(",\"cpuUs\":");
        ASSERT_NE(cpu, std::string::npos) << line;
        line.erase(cpu, line.find_first_of(",}", cpu + 1) - cpu);
        h.bytes(line.data(), line.size());
        h.value('\n');
    }
    EXPECT_EQ(lines, r.trace.size());
    expectHash(run.name, "trace", h.hex());
    for (const std::string& name : captures) {
        const std::string png = readFile(path(name));
        ASSERT_FALSE(png.empty()) << name;
        Hash p;
        p.bytes(png.data(), png.size());
        expectHash(run.name, name, p.hex());
    }
}

TEST_P(Golden, RecordedCalls) {
    const GoldenRun& run = GetParam();
    const Program program = programNamed(run.program);
    std::vector<std::string> args = {run.program, "--headless", "--data", DATA_DIR};
    for (const std::string& w : splitWords(optionsOf(run))) args.push_back(w);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());

    std::vector<ScriptEvent> events;
    std::string error;
    ASSERT_TRUE(parseScript(script(), events, error)) << error;
    RunOptions options;
    ASSERT_EQ(parseRunOptions(static_cast<int>(argv.size()), argv.data(), run.program, "", options,
                              program.steps->fileArgument, program.steps->fileHelp,
                              program.steps->furtherFiles),
              OptionsOutcome::Run);

    recording::reset();
    program.reset();
    // A scripted event is due at the first frame whose tick is atMs or more after
    // the first frame's.
    for (const ScriptEvent& e : events) {
        if (e.kind != ScriptEvent::Kind::Message) continue;
        const uint64_t frame = (uint64_t{e.atMs} + options.stepMs - 1) / options.stepMs;
        recording::scheduleMessage(frame, e.message, e.wParam, e.lParam);
    }
    const fs::path old = fs::current_path();
    testing::internal::CaptureStderr();
    const int status = runProgram(*program.steps, static_cast<int>(argv.size()), argv.data());
    const std::string err = testing::internal::GetCapturedStderr();
    fs::current_path(old);
    ASSERT_EQ(status, 0) << err;
    ASSERT_EQ(recording::presentCount(), static_cast<uint64_t>(options.frames));

    Hash h;
    for (const recording::Call& c : recording::calls()) {
        h.value(c.kind);
        h.value(c.result);
        h.value(c.a), h.value(c.b), h.value(c.c), h.value(c.z);
        h.value(c.matrix);
        h.value(c.hasRect), h.value(c.rect), h.value(c.x), h.value(c.y);
        h.bytes(c.text.data(), c.text.size());
        h.value(c.vertices.size());
        if (!c.vertices.empty()) h.bytes(c.vertices.data(), c.vertices.size() * sizeof(LineVertex));
        h.value(c.readPastBuffer), h.value(c.withoutBuffer);
    }
    expectHash(run.name, "calls", h.hex());
    program.reset();
    recording::reset();
}

INSTANTIATE_TEST_SUITE_P(Runs, Golden, ::testing::ValuesIn(kRuns),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
